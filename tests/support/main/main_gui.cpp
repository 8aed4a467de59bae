// Test main for code that needs QGuiApplication (images, fonts, OpenGL contexts).
#include "tests/support/main/TestEnvironment.h"

#include <QGuiApplication>
#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    klvSetTestEnvironment();
    ::testing::InitGoogleMock(&argc, argv);
    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName(QStringLiteral("Quenmark"));
    QGuiApplication::setApplicationName(QStringLiteral("Kalvanto"));
    return RUN_ALL_TESTS();
}
