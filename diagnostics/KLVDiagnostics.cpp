#include "diagnostics/KLVDiagnostics.h"

#include "platform/foundation/UserDefaults.h"

void KLVDiagnostics::startup(const QMDiagnostics::DiagnosticsOptions& options)
{
    migrateLegacyCrashReportingSetting();
    QMDiagnostics::Diagnostics::startup(QMDiagnostics::Diagnostics::APIKey::klv,
                                        QString::fromLatin1(kKalvantoLogSubsystem), options);
}

void KLVDiagnostics::markLaunchCompleted()
{
    QMDiagnostics::Diagnostics::shared().markLaunchCompleted();
}

void KLVDiagnostics::migrateLegacyCrashReportingSetting()
{
    auto& defaults = platform::UserDefaults::sharedDefaults();
    const QString legacy = QString::fromLatin1(QMDiagnostics::kEnableCrashReportingKey);
    if (!defaults.isPersisted(legacy))
        return;
    defaults.setBool(defaults.boolForKey(legacy), QString::fromLatin1(QMDiagnostics::kEnableErrorReportingKey));
    defaults.removeObjectForKey(legacy);
}
