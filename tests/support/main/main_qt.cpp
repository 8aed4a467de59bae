// Test main for code that needs a Qt event loop (dispatch to main, timers, sockets).
#include "tests/support/main/TestEnvironment.h"

#include <QCoreApplication>
#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    klvSetTestEnvironment();
    ::testing::InitGoogleMock(&argc, argv);
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quenmark"));
    QCoreApplication::setApplicationName(QStringLiteral("Kalvanto"));
    return RUN_ALL_TESTS();
}
