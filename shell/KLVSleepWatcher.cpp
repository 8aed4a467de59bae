#include "shell/KLVSleepWatcher.h"

#include "platform/foundation/Log.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

namespace {

constexpr const char* kService = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kInterface = "org.freedesktop.login1.Manager";

} // namespace

KLVSleepWatcher::KLVSleepWatcher(QObject* parent) : QObject(parent) {}

KLVSleepWatcher::~KLVSleepWatcher()
{
    releaseInhibitor();
}

bool KLVSleepWatcher::start()
{
    if (connected_)
        return true;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return false;
    connected_ = bus.connect(QString::fromLatin1(kService), QString::fromLatin1(kPath), QString::fromLatin1(kInterface),
                             QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    if (connected_)
        takeInhibitor();
    return connected_;
}

void KLVSleepWatcher::prepareForSleep(bool start)
{
    if (start) {
        emit willSleep();
        releaseInhibitor(); // the channels are stopped: let the machine go
    } else {
        emit didWake();
        takeInhibitor();
    }
}

void KLVSleepWatcher::takeInhibitor()
{
    if (!connected_ || inhibitor_.isValid())
        return;
    QDBusInterface manager(QString::fromLatin1(kService), QString::fromLatin1(kPath), QString::fromLatin1(kInterface),
                           QDBusConnection::systemBus());
    QDBusReply<QDBusUnixFileDescriptor> reply = manager.call(
        QStringLiteral("Inhibit"), QStringLiteral("sleep"), QStringLiteral("Kalvanto"),
        QStringLiteral("Stopping playback before sleep"), QStringLiteral("delay"));
    if (reply.isValid())
        inhibitor_ = reply.value();
    else
        platform::log("com.quenmark.kalvanto", "app", platform::LogLevel::Info,
                      QStringLiteral("no sleep inhibitor: %1").arg(reply.error().message()));
}

void KLVSleepWatcher::releaseInhibitor()
{
    // The descriptor is a dup of logind's; the lock goes when the last copy closes.
    inhibitor_ = QDBusUnixFileDescriptor();
}
