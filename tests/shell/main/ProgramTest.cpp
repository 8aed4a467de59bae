// The program itself, started as a child process on the X display (it needs OpenGL) in a home of
// its own.
#include "shell/KLVDataFile.h"
#include "app/document/KLVDocumentClasses.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

bool tcpAccepts(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// Waits for the child; -1 when it has not ended in time.
int waitForExit(pid_t pid, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

TEST(Program, StartsWithItsControlPortsListeningOpensTheDocumentGivenAndSavesItOnSigterm)
{
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        GTEST_SKIP() << "needs an X display";
    testsupport::TempFolder home;
    ASSERT_TRUE(home.isValid());
    const uint16_t port = testsupport::freeTcpPort();
    // A VDCP automation port, listening, reconnected at start-up.
    home.writeFile(QStringLiteral(".local/share/Quenmark/Kalvanto/commModuleDevices.xml"),
                   QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<devices>\n"
                                  "    <device deviceLabel=\"Automation\" deviceID=\"11111111-2222-3333-4444-555555555555\" reconnect=\"1\" klvChannel=\"1\">\n"
                                  "        <QMProtocolParserVDCP behavior=\"4\">\n"
                                  "            <QMTCPNetworkHardwareCommunicator interface=\"lo\" port=\"%1\" mode=\"2\"/>\n"
                                  "        </QMProtocolParserVDCP>\n"
                                  "    </device>\n</devices>\n")
                       .arg(port)
                       .toUtf8());

    // A document named on the command line becomes the data file.
    KLVDocumentClasses::registerClasses();
    const QString given = home.filePath(QStringLiteral("Shows/tonight.klv3"));
    QDir().mkpath(QFileInfo(given).absolutePath());
    KLVDataFile::serialize(*KLVPlaylist::createForNumberOfOutputs(2), given);

    const std::string program = std::string(std::getenv("KLV_BINARY_DIR")) + "/bin/Kalvanto";
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (entry.rfind("HOME=", 0) && entry.rfind("XDG_", 0) && entry.rfind("QT_QPA_PLATFORM=", 0))
            env.push_back(entry);
    }
    const std::string root = home.path().toStdString();
    env.push_back("HOME=" + root);
    env.push_back("XDG_CONFIG_HOME=" + root + "/.config");
    env.push_back("XDG_DATA_HOME=" + root + "/.local/share");
    env.push_back("XDG_CACHE_HOME=" + root + "/.cache");
    env.push_back("QT_QPA_PLATFORM=xcb");
    env.push_back("KLV_DISABLE_PRIVILEGED_HELPER=1");
    env.push_back("KLV_NO_RT=1");
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string arg0 = program;
    std::string arg1 = given.toStdString();
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()), 0);

    const bool listening = testsupport::waitUntil([&] { return tcpAccepts(port); }, 20000);
    ::kill(pid, SIGTERM);
    const int status = waitForExit(pid, std::chrono::seconds(20));
    if (status < 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    EXPECT_TRUE(listening);
    EXPECT_EQ(status, 0);

    // The given document is opened before the columns are made: the default one is never read nor
    // written, and the quit path saved the given one, which the columns extended (channels 0-3 and 4).
    EXPECT_FALSE(QFileInfo::exists(home.filePath(QStringLiteral("Documents/Kalvanto.klv3"))));
    const auto tonight = KLVDataFile::deserializedLocalFile(given);
    EXPECT_GE(tonight->playlistChannels().size(), 2u);
    EXPECT_NE(tonight->channelForChannelNumber(4), nullptr);
    QSettings settings(home.filePath(QStringLiteral(".config/Quenmark/Kalvanto.conf")), QSettings::IniFormat);
    EXPECT_EQ(settings.value(QStringLiteral("KLVDataFile")).toString(), QStringLiteral("~/Shows/tonight.klv3"));
}

} // namespace
