// Test main for code without Qt (the engine).
#include "platform/sanitizer/LeakCheck.h"
#include "tests/support/main/TestEnvironment.h"

#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    klvSetTestEnvironment();
    ::testing::InitGoogleMock(&argc, argv);
    const int result = RUN_ALL_TESTS();
    platform::checkLeaksBeforeTeardown();
    return result;
}
