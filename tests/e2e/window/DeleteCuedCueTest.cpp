// Deleting the cued cue as an operator does, in the real program: channel 1 on a card in HD 1080i
// 29.97 with its slate shown, channel 4 recording from the same card's input (its live preview
// keeps the preview strip drawing), channel 1 holding two cues of an interlaced ProRes 422 HQ
// clip. The second cue is clicked (cued), and 3 s later Delete is pressed on it: the channel
// unloads while the strip draws, and the program and the card's output go on.
#include "shell/KLVDataFile.h"
#include "tests/e2e/support/FrameLogReader.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/TcpPeer.h"
#include "tests/e2e/support/VdcpSession.h"
#include "tests/e2e/support/XInput.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/TempFolder.h"
#include "tests/support/media/MediaGenerator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace e2e;
using vdcppeer::frame;
using vdcppeer::Reply;

namespace {

constexpr uint32_t kDeleteKey = 0xffff; // XK_Delete
// The second row of channel 1's playlist in the main window as it is laid out on a 1920-pixel
// screen (the name column of the row below "First").
constexpr int kSecondCueX = 120;
constexpr int kSecondCueY = 320;

// 6 s of 1080i 29.97 ProRes 422 HQ, top field first, with 24-bit PCM: made once per run.
const QString& interlacedClip()
{
    static testsupport::TempFolder folder;
    static const QString path = [] {
        testsupport::MediaClip clip;
        clip.name = "prores_hq_1080i2997";
        clip.file = "prores_hq_1080i2997.mov";
        clip.codec = "prores";
        clip.pixelFormat = "yuv422p10le";
        clip.width = 1920;
        clip.height = 1080;
        clip.rateNum = 30000;
        clip.rateDen = 1001;
        clip.frames = 180;
        clip.interlaced = true;
        clip.audio = {{"pcm_s24le", 2, 48000, 1000}};
        clip.outputOptions = {"-vf", "setfield=tff", "-flags", "+ilme+ildct", "-c:v", "prores_ks", "-profile:v", "3",
                              "-pix_fmt", "yuv422p10le"};
        const std::string error =
            testsupport::MediaGenerator(folder.fsPath(), testsupport::ffmpegProgram().toStdString()).make(clip);
        return error.empty() ? QString::fromStdString((folder.fsPath() / clip.file).string()) : QString();
    }();
    return path;
}

bool cueDone(VdcpSession& vdcp)
{
    const Reply status = vdcp.ask(frame(0x30, 0x05, QByteArray(1, 0x01)));
    return status.kind == Reply::Data && status.data.size() >= 2 && (std::uint8_t(status.data.at(1)) & 0x80);
}

// The names of channel 1's cues in the document the program saved.
QStringList savedCues(const QString& document)
{
    QStringList names;
    try {
        const auto playlist = KLVDataFile::deserializedLocalFile(document);
        if (const auto channel = playlist ? playlist->channelForChannelNumber(1) : nullptr)
            for (const auto& node : channel->playlistItems())
                names << node->plnName().value_or(QString());
    } catch (...) {
    }
    return names;
}

int64_t lastTick(KalvantoProcess& app, int card)
{
    const auto log = readFrameLog(app.frameLogPath(card));
    return log.empty() ? -1 : log.back().tick;
}

} // namespace

TEST(DeleteCuedCue, TheProgramAndTheCardGoOnWithRecordModeBeside)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const QString clip = interlacedClip();
    ASSERT_FALSE(clip.isEmpty()) << "the clip could not be made";
    const uint16_t port = testsupport::freeTcpPort();
    Scene scene;
    scene.channels.resize(4);
    scene.channels[0] = {{QStringLiteral("First"), clip, 29.97, 6.0}, {QStringLiteral("Second"), clip, 29.97, 6.0}};
    // Automation on channel 1 only reads its state here.
    scene.devices << tcpDevice(QStringLiteral("Automation"), 1, QStringLiteral("QMProtocolParserVDCP"), port);
    scene.cardsJson = QStringLiteral("{\"name\": \"Virtual SDI 1\", \"modes\": [\"HD 1080i 29.97\"]}, "
                                     "{\"name\": \"Virtual SDI 2\", \"modes\": [\"HD 1080i 29.97\"]}");
    scene.defaults << QStringLiteral("KLVSelectedDeviceName1=Virtual SDI 1") << QStringLiteral("KLVSelectedModeIndex1=0")
                   << QStringLiteral("KLVShowSlate_1=true") << QStringLiteral("KLVSelectedOperationMode4=1")
                   << QStringLiteral("KLVSelectedDeviceName4=Virtual SDI 1") << QStringLiteral("KLVSelectedModeIndex4=0");
    KalvantoProcess app(scene);
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(waitFor([&] { return tcpAccepts(port); }, 60000)) << app.output().toStdString();
    VdcpSession vdcp;
    ASSERT_TRUE(vdcp.connectTo(port));
    // A program still starting up on a loaded machine answers late.
    ASSERT_TRUE(vdcp.ask(frame(0x30, 0x01, QByteArray(1, 0x01)), 30000).isData(0x81));
    XInput input;
    ASSERT_TRUE(input.connected());
    ASSERT_TRUE(waitFor([&] { return input.findWindow(app.pid()); }, 30000));
    ASSERT_GE(input.geometry().width(), 1900) << "the playlist's place assumes a window as wide as the screen";

    // Its playlist is laid out a moment after the window shows.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_TRUE(input.click(kSecondCueX, kSecondCueY));
    ASSERT_TRUE(waitFor([&] { return cueDone(vdcp); }, 30000)) << "the click did not cue the second cue";
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_TRUE(input.pressKey(kDeleteKey));
    // The cue goes (the document is saved without it) and the channel unloads it; the playlist
    // reloads a second later.
    EXPECT_TRUE(waitFor([&] { return savedCues(app.documentPath()) == QStringList{QStringLiteral("First")}; }, 10000))
        << savedCues(app.documentPath()).join(QLatin1Char(',')).toStdString();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_TRUE(app.running()) << app.output().toStdString();
    // The card plays out on (black now): its frame log goes on growing.
    const int64_t before = lastTick(app, 0);
    EXPECT_TRUE(waitFor([&] { return lastTick(app, 0) > before + 10; }, 10000));
    EXPECT_EQ(app.terminate(), 0);
}
