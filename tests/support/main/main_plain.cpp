// Test main for code without Qt (the engine).
#include "tests/support/main/TestEnvironment.h"

#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    klvSetTestEnvironment();
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
