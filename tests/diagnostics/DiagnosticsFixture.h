#pragma once
// A Diagnostics instance for one test: settings and reports in a temporary home, reports
// posted to a loopback server, versioned as a daily build so that the stage delivers.

#include "diagnostics/Diagnostics.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/reporting/ReportStore.h"
#include "tests/platform/reporting/support/LoopbackHttpServer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <memory>

class DiagnosticsFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QMDiagnostics::DiagnosticsOptions options(bool detectHangs = false) const;
    std::shared_ptr<QMDiagnostics::Diagnostics> start(bool detectHangs = false);
    void setSwitches(bool errorReporting, bool analytics);
    platform::UserDefaults& defaults() { return platform::UserDefaults::sharedDefaults(); }

    QString storageFolder() const { return folder_ + QStringLiteral("/diagnostics"); }
    // Rows still waiting in the store (read through a second connection).
    std::size_t storedRows() const;
    std::vector<nlohmann::json> bodiesTo(const std::string& path) const;
    // The events of every report that reached the server.
    std::vector<nlohmann::json> reportedEvents() const;

    testsupport::TempFolder temp_;
    QString folder_; // the temporary folder, or the parent's in a death-test child
    bool ownsFolderVariable_ = false;
    testsupport::LoopbackHttpServer server_;
    std::shared_ptr<QMDiagnostics::Diagnostics> diagnostics_;
};
