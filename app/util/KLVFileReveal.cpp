#include "app/util/KLVFileReveal.h"

#include "platform/foundation/Log.h"
#include "resources/strings/KLVLocalized.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <mutex>

namespace KLVFileReveal {

namespace {

constexpr const char* kSubsystem = "com.quenmark.kalvanto";
constexpr const char* kCategory = "app";
constexpr int kDBusTimeoutMs = 5000;

Hooks defaultHooks()
{
    Hooks h;
    h.showItems = [](const QList<QUrl>& urls, std::function<void(bool)> done) {
        showItemsOverDBus(QDBusConnection::sessionBus(), urls, std::move(done));
    };
    h.openFolder = [](const QUrl& folder) {
        if (!QDesktopServices::openUrl(folder))
            platform::log(kSubsystem, kCategory, platform::LogLevel::Error,
                          QStringLiteral("Could not open folder %1").arg(folder.toLocalFile()));
    };
    h.alert = [](const QString& message, const QString&) {
        platform::log(kSubsystem, kCategory, platform::LogLevel::Error, message);
    };
    return h;
}

std::mutex& hooksMutex()
{
    static std::mutex m;
    return m;
}

Hooks& currentHooks()
{
    static Hooks h = defaultHooks();
    return h;
}

} // namespace

Hooks hooks()
{
    std::lock_guard lock(hooksMutex());
    return currentHooks();
}

void setHooks(Hooks h)
{
    const Hooks d = defaultHooks();
    if (!h.showItems)
        h.showItems = d.showItems;
    if (!h.openFolder)
        h.openFolder = d.openFolder;
    if (!h.alert)
        h.alert = d.alert;
    std::lock_guard lock(hooksMutex());
    currentHooks() = std::move(h);
}

void resetHooks()
{
    std::lock_guard lock(hooksMutex());
    currentHooks() = defaultHooks();
}

QUrl fallbackFolder(const QList<QUrl>& urls)
{
    if (urls.isEmpty())
        return {};
    const QString path = urls.last().toLocalFile();
    if (path.isEmpty())
        return {};
    return QUrl::fromLocalFile(QFileInfo(QDir::cleanPath(path)).absolutePath());
}

QString fileNotLocatedMessage(const QString& fileName)
{
    return KLVLocalized::text("QM_FILE_NOT_LOCATED_GENERIC", {fileName});
}

void selectFiles(const QList<QUrl>& urls)
{
    const Hooks h = hooks();
    const QString path = urls.isEmpty() ? QString() : urls.last().toLocalFile();
    if (!path.isEmpty() && QFileInfo::exists(QDir::cleanPath(path))) {
        const QUrl folder = fallbackFolder(urls);
        auto openFolder = h.openFolder;
        h.showItems(urls, [openFolder, folder](bool shown) {
            if (!shown)
                openFolder(folder);
        });
        return;
    }
    const QString name = path.isEmpty() ? QString() : QFileInfo(QDir::cleanPath(path)).fileName();
    h.alert(fileNotLocatedMessage(name), KLVLocalized::text("QM_OK"));
}

void showItemsOverDBus(const QDBusConnection& connection, const QList<QUrl>& urls,
                       std::function<void(bool)> done)
{
    if (!connection.isConnected()) {
        done(false);
        return;
    }
    QStringList uris;
    for (const QUrl& url : urls)
        uris.append(QString::fromUtf8(url.toEncoded()));
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    QDBusConnection bus(connection);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kDBusTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [done = std::move(done)](QDBusPendingCallWatcher* w) {
                         const bool ok = !w->isError();
                         if (!ok)
                             platform::log(kSubsystem, kCategory, platform::LogLevel::Default,
                                           QStringLiteral("File manager did not show the files: %1")
                                               .arg(w->error().message()));
                         w->deleteLater();
                         done(ok);
                     });
}

} // namespace KLVFileReveal
