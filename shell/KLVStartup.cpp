#include "shell/KLVStartup.h"

#include "app/defaults/KLVDefaultsKeys.h"
#include "app/document/KLVDocumentClasses.h"
#include "app/ports/KLVPrompter.h"
#include "comm/core/protocols/amp/QMProtocolParserAMP.h"
#include "comm/core/protocols/rosstalk/QMProtocolParserRossTalk.h"
#include "comm/core/protocols/sonybvw/QMProtocolParserSonyBVW.h"
#include "comm/core/protocols/switchers/QMSwitcherModule.h"
#include "comm/core/protocols/vdcp/QMProtocolParserVDCP.h"
#include "comm/showcontrol/citp/QMProtocolParserCITP.h"
#include "comm/showcontrol/dmx/QMDMXModule.h"
#include "comm/showcontrol/feeds/QMProtocolParserScorebot.h"
#include "comm/showcontrol/gpio/QMProtocolParserNumatoGPIO.h"
#include "comm/showcontrol/midi/QMProtocolParserMIDI.h"
#include "diagnostics/KLVDiagnostics.h"
#include "platform/decklink/DeckLinkLoader.h"
#include "platform/decklink/virtual/VirtualCardControl.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "privhelper/client/HelperManager.h"
#include "privhelper/client/WritableDestination.h"
#include "shell/KLVLocalized.h"

#include <QCoreApplication>

#include <cstdlib>
#include <mutex>

namespace KLVStartup {

namespace {

constexpr const char* kSubsystem = "com.quenmark.kalvanto";
constexpr const char* kCategory = "app";

QString storedPath(const char* key)
{
    const QString value = platform::UserDefaults::sharedDefaults().stringForKey(QString::fromLatin1(key));
    return value.isEmpty() ? QString() : platform::stringByExpandingTildeInPath(value);
}

bool environmentSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

} // namespace

void registerDefaults()
{
    platform::Error error;
    if (!platform::UserDefaults::sharedDefaults().registerStandardDefaults(&error))
        platform::log(kSubsystem, kCategory, platform::LogLevel::Error,
                      QStringLiteral("standard defaults not registered: %1").arg(error.description));
}

void configureCardBackend()
{
    const QString plugin = storedPath(KLVDefaultsKeys::kDeckLinkPluginPath);
    if (!plugin.isEmpty())
        platform::decklink::setPluginPath(plugin.toStdString());
    const QString config = storedPath(KLVDefaultsKeys::kDeckLinkVirtualConfig);
    // The virtual backend reads its configuration from the environment when it loads.
    if (!config.isEmpty() && !environmentSet(platform::decklink::kVirtualConfigEnvironmentVariable))
        ::setenv(platform::decklink::kVirtualConfigEnvironmentVariable, config.toLocal8Bit().constData(), 1);
}

void registerClasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        KLVDocumentClasses::registerClasses();
        QMProtocolParserAMP::registerParserClass();
        QMProtocolParserVDCP::registerParserClass();
        QMProtocolParserSonyBVW::registerParserClass();
        QMRegisterSwitcherClasses();
        QMRegisterRossTalkClass();
        QMRegisterCITPClass();
        QMRegisterDMXClasses();
        QMRegisterMIDIClasses();
        QMRegisterFeedClasses();
        QMRegisterGPIOClasses();
    });
}

QString applicationVersion()
{
    return QStringLiteral(KLV_APPLICATION_VERSION);
}

QString buildVersion()
{
    return QStringLiteral(KLV_BUILD_VERSION);
}

void setApplicationVersion()
{
    QCoreApplication::setApplicationVersion(applicationVersion());
}

void startDiagnostics()
{
    KLVDiagnostics::startup();
}

void markLaunchCompleted()
{
    KLVDiagnostics::markLaunchCompleted();
}

bool installPrivilegedHelper(KLVPrompter& prompter)
{
    if (HelperManager::helperDisabledBySettings())
        return true;
    platform::Error error;
    bool installed = false;
    {
        // The check waits for the helper and, when it must be installed, for the user.
        KLVDiagnostics::HangDetectionSuspension suspension;
        installed = WritableDestination::installPrivilegedHelperAndReturnError(&error);
    }
    if (installed && error.description.isEmpty())
        return true;
    platform::log(kSubsystem, kCategory, platform::LogLevel::Error,
                  QStringLiteral("Error configuring install helper. %1").arg(error.description));
    KLVAlert alert;
    alert.messageText = KLVLocalized::text("QM_HELPER_INSTALL_FAILED");
    alert.informativeText = error.description;
    alert.buttons = {KLVLocalized::text("QM_OK")};
    alert.style = KLVAlert::Style::Critical;
    prompter.runModal(alert);
    return false;
}

QVariantList availableParserTypes()
{
    return {1, 2, 4, 9, 12, 15, 17, 18, 21};
}

} // namespace KLVStartup
