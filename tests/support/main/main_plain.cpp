// Test main for code without Qt (the engine).
#include "tests/support/main/LeakCheck.h"
#include "tests/support/main/TestEnvironment.h"

#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    klvSetTestEnvironment();
    ::testing::InitGoogleMock(&argc, argv);
    const int result = RUN_ALL_TESTS();
    klvCheckLeaksAfterTests();
    return result;
}
