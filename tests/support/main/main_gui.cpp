// Test main for code that needs a GUI application (images, fonts, OpenGL contexts, widgets).
#include "tests/support/main/RunTests.h"
#include "tests/support/main/TestEnvironment.h"

#include <QApplication>
#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    klvSetTestEnvironment();
    ::testing::InitGoogleMock(&argc, argv);
    return klvRunTestsIn<QApplication>(argc, argv);
}
