// The installer's files, written to a scratch root and checked by systemd's own verifier.

#include "platform/privileged/HelperInstallation.h"
#include "tests/privhelper/support/ScratchTree.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace platform::privileged;

namespace {

HelperInstallLayout testLayout()
{
    HelperInstallLayout layout;
    layout.label = "com.example.test.Helper";
    layout.description = "Test helper";
    layout.installPath = "/usr/local/libexec/com.example.test.Helper";
    layout.socketPath = "/run/com.example.test.Helper.sock";
    layout.configPath = "/etc/com.example.test.Helper.conf";
    return layout;
}

HelperInstallRequest requestInto(const privtest::ScratchTree& root, uid_t clientUid)
{
    HelperInstallRequest request;
    request.layout = testLayout();
    request.destinationRoot = root.path();
    request.sourceExecutable = "/proc/self/exe";
    request.clientUid = clientUid;
    return request;
}

// Output and exit status of a shell command.
std::pair<std::string, int> run(const std::string& command)
{
    std::string output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return {"", -1};
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        output.append(buffer.data(), n);
    int status = ::pclose(pipe);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

} // namespace

TEST(HelperInstallation, ServiceUnitIsHardened)
{
    const std::string text = serviceUnitText(testLayout(), {"/media", "/srv/show 100%"});
    for (const char* line :
         {"ProtectSystem=strict\n", "NoNewPrivileges=yes\n", "PrivateNetwork=yes\n",
          "RestrictAddressFamilies=AF_UNIX\n", "RestrictSUIDSGID=yes\n",
          "ReadWritePaths=-\"/media\" -\"/srv/show 100%%\"\n",
          "CapabilityBoundingSet=CAP_CHOWN CAP_DAC_OVERRIDE CAP_DAC_READ_SEARCH CAP_FOWNER "
          "CAP_SYS_PTRACE\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_NE(socketUnitText(testLayout()).find("ListenSequentialPacket=/run/com.example.test.Helper.sock\n"),
              std::string::npos);
}

TEST(HelperInstallation, WritesProgramConfigurationAndUnitsAndKeepsAnExistingConfiguration)
{
    privtest::ScratchTree root;
    HelperInstallRequest request = requestInto(root, 1234);
    request.clientExecutable = "/opt/App/bin/App";
    HelperConfig written;
    std::string problem;
    ASSERT_EQ(installHelperFiles(request, written, problem), 0) << problem;
    EXPECT_EQ(written.roots, defaultHelperRoots());

    struct stat st {};
    ASSERT_EQ(::stat(root.at("usr/local/libexec/com.example.test.Helper").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    HelperConfig config;
    ASSERT_EQ(loadHelperConfig(root.at("etc/com.example.test.Helper.conf"), config, problem), 0);
    EXPECT_TRUE(config.allowsUid(1234));
    EXPECT_EQ(config.clientExecutables, std::vector<std::string>{"/opt/App/bin/App"});

    // The administrator narrows the roots; a reinstall for another user keeps them.
    root.writeFile("etc/com.example.test.Helper.conf", "allow-uid 1234\nroot /srv/show\n");
    request.clientUid = 1500;
    ASSERT_EQ(installHelperFiles(request, written, problem), 0) << problem;
    EXPECT_EQ(written.roots, std::vector<std::string>{"/srv/show"});
    EXPECT_EQ(written.allowedUids, (std::vector<uid_t>{1234, 1500}));
    EXPECT_NE(privtest::readFile(root.at("etc/systemd/system/com.example.test.Helper.service"))
                  .find("ReadWritePaths=-\"/srv/show\"\n"),
              std::string::npos);
}

TEST(HelperInstallation, UnitsPassSystemdVerification)
{
    if (run("command -v systemd-analyze").second != 0)
        GTEST_SKIP() << "systemd-analyze is not installed";
    privtest::ScratchTree root;
    const HelperInstallRequest request = requestInto(root, 1000);
    HelperConfig written;
    std::string problem;
    ASSERT_EQ(installHelperFiles(request, written, problem), 0) << problem;
    // The verifier resolves the units' dependencies (sockets.target, sysinit.target) inside
    // the root it is given: lend it the system's unit library.
    std::filesystem::create_directories(root.at("usr/lib/systemd"));
    std::filesystem::copy("/usr/lib/systemd/system", root.at("usr/lib/systemd/system"),
                          std::filesystem::copy_options::recursive
                              | std::filesystem::copy_options::copy_symlinks);
    const std::string units = root.at("etc/systemd/system/");
    auto [output, status] = run("systemd-analyze verify --man=no --root=" + root.path() + " "
                                + units + "com.example.test.Helper.socket " + units
                                + "com.example.test.Helper.service");
    EXPECT_EQ(status, 0) << output;
    // Unknown or misspelled settings are only warned about: there must be none.
    EXPECT_EQ(output, "");
}
