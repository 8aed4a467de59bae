#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A temporary folder that also stands in for the user's home for as long as it lives:
// QStandardPaths test mode is on, HOME and the XDG folders point inside it, QSettings writes its
// user-scope files there and the shared user defaults use the file inside it, so code under test
// never touches the real configuration or data. Everything is restored and removed on destruction:
// what the shared user defaults still hold for their file is written while the folder exists, and
// they go back to the file they had, so nothing recreates the folder once it is gone. A test that
// points the shared user defaults elsewhere inside the folder is undone the same way. Create it
// on the main thread, one at a time.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool isValid() const;
    QString path() const;
    QString filePath(const QString& relative) const;
    std::filesystem::path fsPath() const;

    // The redirected folders (created): $XDG_CONFIG_HOME, $XDG_DATA_HOME, $XDG_CACHE_HOME.
    QString configHome() const;
    QString dataHome() const;
    QString cacheHome() const;

    // Writes a file below the folder (creating sub-folders) and returns its path.
    QString writeFile(const QString& relative, const QByteArray& contents) const;
    QByteArray readFile(const QString& relative) const;

private:
    struct SavedVariable {
        QByteArray name;
        std::optional<QByteArray> value;
    };

    void redirect(const char* name, const QString& value);

    QTemporaryDir dir_;
    std::vector<SavedVariable> saved_;
    bool wasTestMode_ = false;
    QString settingsBefore_; // the shared user defaults' file before this folder
};

} // namespace testsupport
