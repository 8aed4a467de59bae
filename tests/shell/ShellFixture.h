#pragma once
// A fresh home, settings file and registered defaults for each test of the application shell.

#include "platform/foundation/UserDefaults.h"
#include "shell/KLVLocalized.h"
#include "shell/KLVStartup.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>

class ShellFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("KLV_DISABLE_PRIVILEGED_HELPER", "1", 1);
        ASSERT_TRUE(home_.isValid());
        platform::UserDefaults::setSharedFilePath(home_.filePath(QStringLiteral("settings/Kalvanto.conf")));
        KLVLocalized::install();
        KLVStartup::registerDefaults();
        KLVStartup::registerClasses();
    }
    platform::UserDefaults& defaults() { return platform::UserDefaults::sharedDefaults(); }
    QString documents() const { return home_.filePath(QStringLiteral("Documents")); }

    testsupport::TempFolder home_;
};
