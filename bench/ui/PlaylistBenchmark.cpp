// Import of 1,000 files into a channel with a real Clipwright (metadata for all, until the last
// reply), with the bare media client as the peer; table edits with undo on 10,000 rows, with the
// same edits on a plain vector as the peer.
#include "app/document/KLVChannel.h"
#include "bench/support/BenchRun.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/mediaclient/KLVMediaHelperClient.h"
#include "tests/mediahelper/support/HelperTestMedia.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelImport.h"
#include "ui/logic/channel/KLVChannelTableEdits.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

// A smoke run imports a token number of files, once.
const int kFiles = benchsupport::smokeRun() ? 20 : 1000;
const int kRounds = benchsupport::smokeRun() ? 1 : 3;
constexpr int kRows = 10000;

QStringList linkedClips(const testsupport::TempFolder& home)
{
    const QString clip = testsupport::helperClipPath(testsupport::HelperClip::Small);
    QDir(home.path()).mkpath(QStringLiteral("clips"));
    QStringList paths;
    for (int i = 0; i < kFiles; ++i) {
        const QString path = home.filePath(QStringLiteral("clips/clip%1.mov").arg(i, 4, 10, QLatin1Char('0')));
        QFile::link(clip, path);
        paths.append(path);
    }
    return paths;
}

// Thumbnails and slates are left unanswered: the figure is the metadata round.
void BM_ImportThousandFilesThroughChannel(benchmark::State& state)
{
    testsupport::TempFolder home;
    const QStringList paths = linkedClips(home);
    qputenv(KLVMediaHelperClient::kServicePathVariable, testsupport::clipwrightProgram().toUtf8());
    KLVMediaHelperClient client;
    testsupport::FakeChannelDelegate app;
    app.mediaHelper = [&](const char* kind, const auto& node, auto& done) {
        if (QLatin1String(kind) == QLatin1String("metadata"))
            client.requestMetadataForNode(node, done);
    };
    KLVChannelController channel(app, 1, std::make_unique<testsupport::FakePlaybackEngine>());
    app.controllers.append(&channel);
    for (auto _ : state) {
        channel.channel()->setPlaylistItems({});
        channel.import().importFilesWithPaths(paths);
        testsupport::waitUntil([&] { return channel.import().outstandingMetadataRequests() == 0; }, 600000);
        if (channel.table().playlistItemCount() != kFiles)
            state.SkipWithError("not every file was imported");
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_ImportThousandFilesThroughChannel)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRounds);

void BM_ThousandMetadataRequestsThroughClient(benchmark::State& state)
{
    testsupport::TempFolder home;
    const QStringList paths = linkedClips(home);
    qputenv(KLVMediaHelperClient::kServicePathVariable, testsupport::clipwrightProgram().toUtf8());
    KLVMediaHelperClient client;
    std::vector<std::shared_ptr<KLVPlaylistNode>> nodes;
    for (const QString& p : paths) {
        nodes.push_back(KLVPlaylistNode::create());
        nodes.back()->setPlnSourcePath(p);
    }
    for (auto _ : state) {
        int answered = 0;
        for (const auto& node : nodes)
            client.requestMetadataForNode(node, [&](const platform::Error&, const QVariant&) { ++answered; });
        testsupport::waitUntil([&] { return answered == kFiles; }, 600000);
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_ThousandMetadataRequestsThroughClient)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRounds);

std::vector<long> span(long first, long count)
{
    std::vector<long> rows;
    for (long i = 0; i < count; ++i)
        rows.push_back(first + i);
    return rows;
}

std::vector<std::shared_ptr<KLVPlaylistNode>> stubs(long count)
{
    std::vector<std::shared_ptr<KLVPlaylistNode>> nodes;
    for (long i = 0; i < count; ++i)
        nodes.push_back(KLVPlaylistNode::create());
    return nodes;
}

// Insert, remove and replace 100 rows in the middle, then undo and redo all three.
void BM_TableEditsWithUndoTenThousandRows(benchmark::State& state)
{
    testsupport::TempFolder home;
    testsupport::FakeChannelDelegate app;
    app.mediaHelper = [](const char*, const auto&, auto&) {};
    KLVChannelController channel(app, 1, std::make_unique<testsupport::FakePlaybackEngine>());
    channel.channel()->setPlaylistItems(stubs(kRows));
    KLVChannelTableEdits& table = channel.table();
    for (auto _ : state) {
        table.insertNodes(stubs(100), span(5000, 100));
        table.removeNodesAtIndexes(span(2000, 100));
        table.replaceNodesAtIndexes(span(7000, 100), stubs(100));
        for (int i = 0; i < 3; ++i)
            app.undo.undo();
        for (int i = 0; i < 3; ++i)
            app.undo.redo();
    }
    state.SetItemsProcessed(state.iterations() * 9);
}
BENCHMARK(BM_TableEditsWithUndoTenThousandRows)->Unit(benchmark::kMicrosecond);

void BM_SameEditsOnAPlainList(benchmark::State& state)
{
    auto list = stubs(kRows);
    for (auto _ : state) {
        auto inserted = stubs(100);
        list.insert(list.begin() + 5000, inserted.begin(), inserted.end());
        std::vector<std::shared_ptr<KLVPlaylistNode>> removed(list.begin() + 2000, list.begin() + 2100);
        list.erase(list.begin() + 2000, list.begin() + 2100);
        auto replacing = stubs(100);
        std::vector<std::shared_ptr<KLVPlaylistNode>> old(list.begin() + 7000, list.begin() + 7100);
        std::copy(replacing.begin(), replacing.end(), list.begin() + 7000);
        // undo and redo: the same three list operations again, twice
        std::copy(old.begin(), old.end(), list.begin() + 7000);
        list.insert(list.begin() + 2000, removed.begin(), removed.end());
        list.erase(list.begin() + 5000, list.begin() + 5100);
        list.insert(list.begin() + 5000, inserted.begin(), inserted.end());
        list.erase(list.begin() + 2000, list.begin() + 2100);
        std::copy(replacing.begin(), replacing.end(), list.begin() + 7000);
        benchmark::DoNotOptimize(list.data());
    }
    state.SetItemsProcessed(state.iterations() * 9);
}
BENCHMARK(BM_SameEditsOnAPlainList)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
