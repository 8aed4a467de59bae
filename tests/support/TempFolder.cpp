#include "tests/support/TempFolder.h"

#include "platform/foundation/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

namespace testsupport {
namespace {

// QSettings caches its search paths; point them at the current XDG configuration folder.
void pointSettingsAt(const QString& configHome)
{
    for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, configHome);
}

} // namespace

TempFolder::TempFolder()
    : dir_(QDir::tempPath() + QStringLiteral("/klv-test-XXXXXX"))
{
    if (!dir_.isValid())
        return;
    settingsBefore_ = platform::UserDefaults::sharedDefaults().filePath();
    wasTestMode_ = QStandardPaths::isTestModeEnabled();
    redirect("HOME", dir_.path());
    QStandardPaths::setTestModeEnabled(true);
    // Test mode puts Qt's locations below HOME/.qttest; the XDG variables name the same folders so
    // that code reading them directly agrees with QStandardPaths.
    redirect("XDG_CONFIG_HOME", QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    redirect("XDG_DATA_HOME", QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    redirect("XDG_CACHE_HOME", QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
    redirect("XDG_STATE_HOME", dir_.filePath(QStringLiteral(".qttest/state")));
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        QDir().mkpath(qEnvironmentVariable(name));
    pointSettingsAt(configHome());
    platform::UserDefaults::setSharedFilePath(platform::UserDefaults::defaultFilePath());
    // Temporary files of the test, and the folders of a death test's child (which ends without
    // unwinding), land inside this folder and go with it.
    redirect("TMPDIR", dir_.path());
}

TempFolder::~TempFolder()
{
    if (!dir_.isValid())
        return;
    // Writes what is pending into this folder, which is removed only after this body.
    platform::UserDefaults::setSharedFilePath(settingsBefore_);
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->value)
            qputenv(it->name.constData(), *it->value);
        else
            qunsetenv(it->name.constData());
    }
    QStandardPaths::setTestModeEnabled(wasTestMode_);
    pointSettingsAt(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

void TempFolder::redirect(const char* name, const QString& value)
{
    SavedVariable saved{name, std::nullopt};
    if (qEnvironmentVariableIsSet(name))
        saved.value = qgetenv(name);
    saved_.push_back(std::move(saved));
    qputenv(name, QFile::encodeName(value));
}

bool TempFolder::isValid() const
{
    return dir_.isValid();
}

QString TempFolder::path() const
{
    return dir_.path();
}

QString TempFolder::filePath(const QString& relative) const
{
    return dir_.filePath(relative);
}

std::filesystem::path TempFolder::fsPath() const
{
    return std::filesystem::path(QFile::encodeName(dir_.path()).toStdString());
}

QString TempFolder::configHome() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString TempFolder::dataHome() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString TempFolder::cacheHome() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
}

QString TempFolder::writeFile(const QString& relative, const QByteArray& contents) const
{
    const QString target = filePath(relative);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() || !file.commit())
        return {};
    return target;
}

QByteArray TempFolder::readFile(const QString& relative) const
{
    QFile file(filePath(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace testsupport
