// Test main for code that needs a Qt event loop (dispatch to main, timers, sockets).
#include "tests/support/main/RunTests.h"
#include "tests/support/main/TestEnvironment.h"

#include <QCoreApplication>
#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    klvSetTestEnvironment();
    ::testing::InitGoogleMock(&argc, argv);
    return klvRunTestsIn<QCoreApplication>(argc, argv);
}
