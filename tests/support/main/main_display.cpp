// Test main for GL tests that need real windows: QApplication on the X display (Xvfb under
// scripts/test), falling back to offscreen when there is no display at all.
#include "tests/support/main/RunTests.h"
#include "tests/support/main/TestEnvironment.h"

#include <QApplication>
#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    if (std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "xcb", 0);
    klvSetTestEnvironment();
    ::testing::InitGoogleMock(&argc, argv);
    return klvRunTestsIn<QApplication>(argc, argv);
}
