// Test main for code that needs QGuiApplication (images, fonts, OpenGL contexts).
#include "tests/support/main/RunTests.h"
#include "tests/support/main/TestEnvironment.h"

#include <QGuiApplication>
#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    klvSetTestEnvironment();
    ::testing::InitGoogleMock(&argc, argv);
    return klvRunTestsIn<QGuiApplication>(argc, argv);
}
