#pragma once

#include "tests/support/main/LeakCheck.h"

#include <QString>
#include <gtest/gtest.h>

// Runs every test inside an application object of the kind the test executable needs, named as
// the product is so settings and paths resolve as they do in the program.
template <typename Application>
int klvRunTestsIn(int argc, char** argv)
{
    Application app(argc, argv);
    Application::setOrganizationName(QStringLiteral("Quenmark"));
    Application::setApplicationName(QStringLiteral("Kalvanto"));
    const int result = RUN_ALL_TESTS();
    klvCheckLeaksAfterTests();
    return result;
}
