// Test main for code that needs QGuiApplication (images, fonts, OpenGL contexts). The platform
// defaults to offscreen unless the test environment chose one (xcb under Xvfb for "gl" tests).
#include <QGuiApplication>
#include <gmock/gmock.h>
#include <cstdlib>

int main(int argc, char** argv)
{
    ::testing::InitGoogleMock(&argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName(QStringLiteral("Quenmark"));
    QGuiApplication::setApplicationName(QStringLiteral("Kalvanto"));
    return RUN_ALL_TESTS();
}
