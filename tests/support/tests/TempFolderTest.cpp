#include "tests/support/TempFolder.h"

#include "platform/foundation/UserDefaults.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

using testsupport::TempFolder;

TEST(TempFolder, RedirectsHomeXdgAndSettingsWhileItLives)
{
    const QByteArray home = qgetenv("HOME");
    const bool xdgDataWasSet = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    const QByteArray xdgData = qgetenv("XDG_DATA_HOME");
    const QString realConfig = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QString folder;
    {
        TempFolder temp;
        ASSERT_TRUE(temp.isValid());
        folder = temp.path();
        EXPECT_TRUE(QStandardPaths::isTestModeEnabled());
        EXPECT_EQ(QDir::homePath(), folder);
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
            EXPECT_TRUE(qEnvironmentVariable(name).startsWith(folder + "/")) << name;
            EXPECT_TRUE(QFileInfo(qEnvironmentVariable(name)).isDir()) << name;
        }
        EXPECT_EQ(qEnvironmentVariable("XDG_CONFIG_HOME"), temp.configHome());
        EXPECT_EQ(qEnvironmentVariable("XDG_DATA_HOME"), temp.dataHome());
        EXPECT_TRUE(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).startsWith(folder + "/"));

        {
            QSettings settings(QStringLiteral("Quenmark"), QStringLiteral("Kalvanto"));
            settings.setValue(QStringLiteral("probe"), 42);
            settings.sync();
            EXPECT_TRUE(settings.fileName().startsWith(temp.configHome() + "/")) << settings.fileName().toStdString();
            EXPECT_TRUE(QFileInfo::exists(settings.fileName()));
        }

        const QString written = temp.writeFile(QStringLiteral("a/b/c.txt"), "hello");
        EXPECT_EQ(written, temp.filePath(QStringLiteral("a/b/c.txt")));
        EXPECT_EQ(temp.readFile(QStringLiteral("a/b/c.txt")), "hello");
        EXPECT_EQ(temp.fsPath().string(), folder.toStdString());
    }
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(qgetenv("HOME"), home);
    EXPECT_EQ(qEnvironmentVariableIsSet("XDG_DATA_HOME"), xdgDataWasSet);
    EXPECT_EQ(qgetenv("XDG_DATA_HOME"), xdgData);
    EXPECT_FALSE(QStandardPaths::isTestModeEnabled());
    EXPECT_EQ(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation), realConfig);
}

TEST(TempFolder, TwoInTurnGetSeparateFolders)
{
    QString first;
    {
        TempFolder temp;
        first = temp.path();
        temp.writeFile(QStringLiteral("left-over"), "x");
    }
    TempFolder temp;
    EXPECT_NE(temp.path(), first);
    EXPECT_TRUE(temp.readFile(QStringLiteral("left-over")).isEmpty());
}

// The shared user defaults keep the settings of the application under test. What they still hold
// for the folder's file is written before the folder goes, and nothing written afterwards lands in
// it: the folder stays gone, also with a test that pointed them at a file of its own inside it.
TEST(TempFolder, SharedSettingsNeverBringTheFolderBack)
{
    platform::UserDefaults& shared = platform::UserDefaults::sharedDefaults();
    const QString before = shared.filePath();
    QString folder;
    QString ownFile;
    for (const bool ownPath : {false, true}) {
        {
            TempFolder temp;
            folder = temp.path();
            EXPECT_TRUE(shared.filePath().startsWith(folder + "/")) << shared.filePath().toStdString();
            if (ownPath) {
                ownFile = temp.filePath(QStringLiteral("settings/Kalvanto.conf"));
                platform::UserDefaults::setSharedFilePath(ownFile);
            }
            shared.setBool(true, QStringLiteral("KLVTempFolderProbe")); // pending, not yet written
            EXPECT_TRUE(QFileInfo::exists(folder));
        }
        QCoreApplication::processEvents();
        shared.synchronize();
        EXPECT_FALSE(QFileInfo::exists(folder)) << "ownPath " << ownPath;
        EXPECT_EQ(shared.filePath(), before);
    }
}
