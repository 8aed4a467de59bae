#pragma once
// Revealing files in the user's file browser. The freedesktop FileManager1 D-Bus service shows
// the files selected; when it is missing or the call fails, the folder of the last file is
// opened instead. A file that cannot be found gives an alert.
//
// The three actions are hooks so that the widget layer can supply the alert and tests can
// watch the decisions without a session bus or a browser.

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

class QDBusConnection;

namespace KLVFileReveal {

struct Hooks {
    // Asks the file browser to show urls selected; calls done(true) when it accepted.
    std::function<void(const QList<QUrl>& urls, std::function<void(bool)> done)> showItems;
    // Opens a folder in the default file browser.
    std::function<void(const QUrl& folder)> openFolder;
    // Shows a modal alert with one button.
    std::function<void(const QString& message, const QString& button)> alert;
};

// The hooks in use; the defaults call D-Bus, QDesktopServices and the log (the widget layer
// replaces the alert). Any hook left empty in setHooks keeps its default.
Hooks hooks();
void setHooks(Hooks hooks);
void resetHooks();

// The folder opened when the file browser cannot select the files: the last file's folder.
QUrl fallbackFolder(const QList<QUrl>& urls);

// The localized alert text for a file that cannot be found ("QM_FILE_NOT_LOCATED_GENERIC"
// with the file's name).
QString fileNotLocatedMessage(const QString& fileName);

// Shows the files, falls back to their folder, or alerts when the last file is missing.
void selectFiles(const QList<QUrl>& urls);

// The D-Bus call itself on the given connection (asynchronous; done runs on the caller's
// thread from its event loop); done(false) at once when the connection is not connected.
void showItemsOverDBus(const QDBusConnection& connection, const QList<QUrl>& urls,
                       std::function<void(bool)> done);

} // namespace KLVFileReveal
