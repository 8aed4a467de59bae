// Media files as the two programs open them. The playback engine (its audio on the silent output
// of a clock that never moves): open, the first frames decoded and shown, a seek to the middle and
// the frames there, then closed. Clipwright: the metadata,
// a thumbnail and a slate, each answered exactly once. The input is the file. Each step waits a
// bounded time for the engine's threads, as a display link would see them, so no file can hold
// the target for long; the engine bounds its own waits.
#include "engine/decoder/ssMediaDecoder3.h"
#include "mediahelper/service/ClipwrightService.h"
#include "mediahelper/shared/ClipwrightProtocol.h"
#include "platform/audio/AudioOutputHub.h"
#include "platform/clock/ManualClock.h"

#include "FuzzClipwright.h"
#include "FuzzQuiet.h"
#include "FuzzScratch.h"

#include <QGuiApplication>

extern "C" {
#include <libavutil/log.h>
}

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include <unistd.h>

using namespace clipwright;

namespace {

constexpr int kFramesShown = 4;
constexpr auto kWaitForBuffers = std::chrono::milliseconds(200);

std::string scratch()
{
    static const std::string folder = fuzzsupport::scratchFolder("clip");
    return folder;
}

platform::ManualClock& clock()
{
    static platform::ManualClock manual;
    return manual;
}

ssMediaDecoder3& engine()
{
    static const std::unique_ptr<ssMediaDecoder3> engine = [] {
        // The clock first, so that it outlives the hub's sink thread, which waits on it, at exit.
        platform::ManualClock& silent = clock();
        platform::AudioOutputHub::shared().selectBackend(platform::AudioOutputHub::Backend::Null, &silent);
        auto made = std::make_unique<ssMediaDecoder3>(KLV_FUZZ_RESOURCE_BASE, nullptr);
        made->SetShowSlate(0);
        ssOutputFormat format{1, 320, 180, 0, 25.0f};
        made->SetOutputFormat(&format);
        return made;
    }();
    return *engine;
}

// Takes the frames the paused engine shows, as a screen would, once its queues are full or a
// short while has passed.
void takeFrame()
{
    int32_t width = 0, height = 0, displayWidth = 0, displayHeight = 0, state = 0;
    engine().GetFrameForOutput(&width, &height, &displayWidth, &displayHeight, &state);
}

void showFrames()
{
    const auto until = std::chrono::steady_clock::now() + kWaitForBuffers;
    while (!engine().BuffersReady() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    for (int i = 0; i < kFramesShown; ++i)
        takeFrame();
}

// A seek waits for the screen to show where it landed: a display link keeps taking frames
// meanwhile.
void seekWhileShowing(double time)
{
    std::atomic<bool> seeking{true};
    std::thread display([&] {
        while (seeking.load()) {
            takeFrame();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    engine().Seek(time, 0);
    seeking.store(false);
    display.join();
}

void playInEngine(const std::string& path)
{
    if (engine().Open(path.c_str(), false) != 0)
        return;
    showFrames();
    const double duration = engine().GetDuration();
    seekWhileShowing(duration > 0 && duration < 1e6 ? duration / 2 : 0);
    showFrames();
    engine().Open("", false);
}

void askClipwright(const QString& path)
{
    static JobLanes lanes(std::chrono::hours(1));
    static ClipwrightService service(lanes);
    const QString picture = QString::fromStdString(scratch() + "/picture.png");
    const QList<QCborMap> requests{
        {{QLatin1String(kActionKey), QLatin1String(kActionMetadata)}, {QLatin1String(kSourceKey), path}},
        {{QLatin1String(kActionKey), QLatin1String(kActionThumbnail)},
         {QLatin1String(kSourceKey), path},
         {QLatin1String(kThumbnailDestinationKey), picture}},
        {{QLatin1String(kActionKey), QLatin1String(kActionSlate)},
         {QLatin1String(kSourceKey), path},
         {QLatin1String(kSlateDestinationKey), picture},
         {QLatin1String(kInPointKey), 0.04},
         {QLatin1String(kOutPointKey), 1.0}},
    };
    for (const QCborMap& request : requests) {
        const auto reply = std::make_shared<fuzzsupport::CountingReply>();
        service.Clipwright_peer_event_handler(platform::XpcEvent{request, reply, {}});
        fuzzsupport::drain(lanes);
        if (reply->count != 1)
            std::abort();
        ::unlink(picture.toLocal8Bit().constData());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzsupport::silenceEngineLog();
    av_log_set_level(AV_LOG_QUIET);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv); // Clipwright's slates draw text
    engine();
    scratch(); // made before the handler below, so it is still there when the handler runs at exit
    std::atexit([] { ::unlink((scratch() + "/picture.png").c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = scratch() + "/clip";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    playInEngine(path);
    askClipwright(QString::fromStdString(path));
    return 0;
}
