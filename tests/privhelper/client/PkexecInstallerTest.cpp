// The installer's reading of the elevator's outcome, with stand-in elevators (shell scripts):
// tests never run pkexec.

#include "privhelper/client/HelperInstaller.h"
#include "tests/privhelper/support/ScratchTree.h"

#include <gtest/gtest.h>

using Kind = HelperInstallOutcome::Kind;

namespace {

std::string elevator(const privtest::ScratchTree& tree, const std::string& body)
{
    return tree.writeFile("elevator.sh", "#!/bin/sh\n" + body + "\n", 0755);
}

} // namespace

TEST(PkexecHelperInstaller, RunsTheToolOnceWithItsInstallArguments)
{
    privtest::ScratchTree tree;
    const std::string record = tree.at("args");
    PkexecHelperInstaller installer("/opt/App/Latchkeep", "/opt/App/App",
                                    elevator(tree, "echo \"$@\" > " + record));
    const auto outcome = installer.install();
    EXPECT_EQ(outcome.kind, Kind::installed);
    EXPECT_EQ(privtest::readFile(record), "/opt/App/Latchkeep --install --client-exe /opt/App/App\n");
}

TEST(PkexecHelperInstaller, DismissedOrUnauthorizedMeansAuthorizationFailed)
{
    privtest::ScratchTree tree;
    for (int code : {126, 127}) {
        PkexecHelperInstaller installer(
            "/t", "", elevator(tree, "echo 'Not authorized' >&2; exit " + std::to_string(code)));
        const auto outcome = installer.install();
        EXPECT_EQ(outcome.kind, Kind::authorizationFailed) << code;
        EXPECT_EQ(outcome.message, "Not authorized");
    }
    PkexecHelperInstaller missing("/t", "", tree.at("no-such-elevator"));
    EXPECT_EQ(missing.install().kind, Kind::authorizationFailed);
}

TEST(PkexecHelperInstaller, OtherFailuresCarryTheInstallersErrorOutput)
{
    privtest::ScratchTree tree;
    PkexecHelperInstaller loud("/t", "", elevator(tree, "echo 'cannot write /etc/x' >&2; exit 1"));
    auto outcome = loud.install();
    EXPECT_EQ(outcome.kind, Kind::installFailed);
    EXPECT_EQ(outcome.message, "cannot write /etc/x");
    PkexecHelperInstaller quiet("/t", "", elevator(tree, "exit 3"));
    outcome = quiet.install();
    EXPECT_EQ(outcome.kind, Kind::installFailed);
    EXPECT_EQ(outcome.message, "Unknown Error");
}
