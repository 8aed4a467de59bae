// Cues whose source is a named pipe, a device or a socket: the program starts, loads none of
// them, keeps answering its controllers and quits when asked.
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/TcpPeer.h"
#include "tests/e2e/support/VdcpSession.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace e2e;
using vdcppeer::frame;
using vdcppeer::Reply;

TEST(UnplayableCue, PipeDeviceAndSocketCuesNeitherHangStartUpNorCueing)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString pipe = folder.filePath(QStringLiteral("pipe.mov"));
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString socketPath = folder.filePath(QStringLiteral("sock.mov"));
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", QFile::encodeName(socketPath).constData());
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    const uint16_t port = testsupport::freeTcpPort();
    Scene setup;
    // The pipe is the first cue: the output restored at start-up loads it.
    setup.channels = {{{QStringLiteral("Pipe"), pipe, 25, 2.0},
                       {QStringLiteral("Device"), QStringLiteral("/dev/zero"), 25, 2.0},
                       {QStringLiteral("Socket"), socketPath, 25, 2.0},
                       {QStringLiteral("Clip"), testsupport::mediaPath("mjpeg"), 25, 2.0}}};
    setup.devices << tcpDevice(QStringLiteral("Automation"), 1, QStringLiteral("QMProtocolParserVDCP"), port);
    setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
    KalvantoProcess app(setup);
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(waitFor([&] { return tcpAccepts(port); }, 30000)) << app.output().toStdString();

    VdcpSession vdcp;
    ASSERT_TRUE(vdcp.connectTo(port));
    EXPECT_TRUE(vdcp.ask(frame(0x30, 0x01, QByteArray(1, 0x01))).isData(0x81));
    // Cueing each of them is taken and changes nothing; the real clip still cues after them.
    for (const char* id : {"Pipe    ", "Device  ", "Socket  ", "Clip    "}) {
        const Reply cue = vdcp.ask(frame(0x20, 0x24, QByteArray(id)), 10000);
        EXPECT_EQ(cue.kind, Reply::Ack) << id << " " << cue.raw.toHex().toStdString();
        EXPECT_EQ(vdcp.ask(frame(0x30, 0x05, QByteArray(1, 0x01))).kind, Reply::Data) << id;
    }
    EXPECT_TRUE(app.running());
    // Nothing waits on the pipe, so an ordinary quit ends the program.
    EXPECT_EQ(app.terminate(), 0) << app.output().toStdString();
    close(listener);
}
