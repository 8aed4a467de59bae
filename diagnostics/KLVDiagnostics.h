#pragma once
// The bridge through which the application shell starts the diagnostics module at launch and
// tells it when launch has completed.

#include "diagnostics/Diagnostics.h"

inline constexpr const char* kKalvantoLogSubsystem = "com.quenmark.kalvanto";

class KLVDiagnostics {
public:
    // Folds the legacy "enableCrashReporting" into "enableErrorReporting", then starts the
    // module with this application's keys. Called first when launching has finished.
    static void startup(const QMDiagnostics::DiagnosticsOptions& options = {});
    // Called last in the launch sequence.
    static void markLaunchCompleted();

    // Only a value the user stored counts: a registered default of the old key is not theirs.
    static void migrateLegacyCrashReportingSetting();

    // Brackets work that blocks the main thread on purpose (the privileged helper's version
    // check and installation prompt): no app hang is reported for it.
    class HangDetectionSuspension {
    public:
        HangDetectionSuspension() { QMDiagnostics::Diagnostics::suspendAppHangDetection(); }
        ~HangDetectionSuspension() { QMDiagnostics::Diagnostics::resumeAppHangDetection(); }
        HangDetectionSuspension(const HangDetectionSuspension&) = delete;
        HangDetectionSuspension& operator=(const HangDetectionSuspension&) = delete;
    };
};
