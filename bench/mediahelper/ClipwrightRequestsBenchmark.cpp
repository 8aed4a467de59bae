// Metadata and thumbnail requests per second, each a full round trip through Clipwright: the
// request frame, a fresh decoder per job, the reply on the main thread.
#include "bench/support/BenchRun.h"
#include "mediahelper/shared/ClipwrightProtocol.h"
#include "platform/xpc/XpcServiceClient.h"
#include "tests/mediahelper/support/HelperTestMedia.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/WaitUntil.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kBatch = 16;

QString clip1080p()
{
    // The shared large fixture when it was made, else the helper tests' own 1080p clip.
    const QString large = testsupport::mediaPath("h264_1080p");
    return QFileInfo::exists(large) ? large : testsupport::helperClipPath(testsupport::HelperClip::Square1080p);
}

QCborMap request(const char* action, const QString& source)
{
    QCborMap map;
    map.insert(QLatin1String(clipwright::kActionKey), QLatin1String(action));
    map.insert(QLatin1String(clipwright::kSourceKey), source);
    return map;
}

void runBatch(benchmark::State& state, platform::XpcServiceClient& client, const std::vector<QCborMap>& requests)
{
    int answered = 0;
    for (const QCborMap& r : requests)
        client.sendRequest(r, [&](const platform::XpcReply& reply) {
            if (reply.body.value(QLatin1String(clipwright::kResultKey)).toString() != QLatin1String("success"))
                state.SkipWithError("request failed");
            ++answered;
        });
    testsupport::waitUntil([&] { return answered == int(requests.size()); }, 600000);
}

void BM_MetadataRequests(benchmark::State& state)
{
    platform::XpcServiceClient client(testsupport::clipwrightProgram());
    const QString source = clip1080p();
    std::vector<QCborMap> requests(kBatch, request(clipwright::kActionMetadata, source));
    runBatch(state, client, requests); // start the service outside the measurement
    for (auto _ : state)
        runBatch(state, client, requests);
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_MetadataRequests)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ThumbnailRequests(benchmark::State& state)
{
    platform::XpcServiceClient client(testsupport::clipwrightProgram());
    const QString source = clip1080p();
    QTemporaryDir folder;
    int serial = 0;
    auto batch = [&] {
        std::vector<QCborMap> requests;
        for (int i = 0; i < kBatch; ++i) {
            QCborMap r = request(clipwright::kActionThumbnail, source);
            // A new file each time: an existing one would be answered without work.
            r.insert(QLatin1String(clipwright::kThumbnailDestinationKey),
                     folder.filePath(QStringLiteral("t%1.png").arg(serial++)));
            requests.push_back(r);
        }
        return requests;
    };
    runBatch(state, client, batch());
    for (auto _ : state) {
        state.PauseTiming();
        const auto requests = batch();
        state.ResumeTiming();
        runBatch(state, client, requests);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_ThumbnailRequests)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchsupport::setEnvironment();
    QCoreApplication app(argc, argv);
    return benchsupport::runBenchmarks(argc, argv);
}
