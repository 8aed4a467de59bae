#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace {

// Points HOME and the XDG folders into a temporary directory for one test.
class ScopedHome {
public:
    ScopedHome()
    {
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            saved_.push_back({name, qgetenv(name)});
        home_ = QDir::cleanPath(dir_.path() + QStringLiteral("/home/user"));
        QDir().mkpath(home_);
        qputenv("HOME", QFile::encodeName(home_));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home_ + QStringLiteral("/.local/share")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_ + QStringLiteral("/.config")));
    }
    ~ScopedHome()
    {
        for (const auto& [name, value] : saved_) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }
    const QString& home() const { return home_; }

private:
    QTemporaryDir dir_;
    QString home_;
    std::vector<std::pair<const char*, QByteArray>> saved_;
};

} // namespace

TEST(Paths, FoldersFollowXdgAndAreCreated)
{
    ScopedHome home;
    const QString data = applicationDataFolder();
    EXPECT_EQ(data, home.home() + QStringLiteral("/.local/share/Quenmark/Kalvanto"));
    EXPECT_TRUE(QFileInfo(data).isDir());
    const QString slates = applicationDataFolder(QStringLiteral("Slates"));
    EXPECT_EQ(slates, data + QStringLiteral("/Slates"));
    EXPECT_TRUE(QFileInfo(slates).isDir());
    EXPECT_EQ(configFolder(), home.home() + QStringLiteral("/.config/Quenmark"));
    EXPECT_TRUE(QFileInfo(configFolder()).isDir());
}

TEST(Paths, TildeExpandsAndAbbreviatesOnWholeComponents)
{
    ScopedHome home;
    const QString h = home.home();
    EXPECT_EQ(stringByExpandingTildeInPath(QStringLiteral("~")), h);
    EXPECT_EQ(stringByExpandingTildeInPath(QStringLiteral("~/Documents/Kalvanto.klv3")),
              h + QStringLiteral("/Documents/Kalvanto.klv3"));
    EXPECT_EQ(stringByExpandingTildeInPath(QStringLiteral("/abs/~/x")), QStringLiteral("/abs/~/x"));
    EXPECT_EQ(stringByExpandingTildeInPath(QStringLiteral("rel/x")), QStringLiteral("rel/x"));
    EXPECT_EQ(stringByExpandingTildeInPath(QStringLiteral("~no_such_user_klv/x")), QStringLiteral("~no_such_user_klv/x"));
    if (const passwd* root = getpwnam("root")) {
        EXPECT_EQ(stringByExpandingTildeInPath(QStringLiteral("~root/x")),
                  QDir::cleanPath(QString::fromLocal8Bit(root->pw_dir)) + QStringLiteral("/x"));
    }

    EXPECT_EQ(stringByAbbreviatingWithTildeInPath(h), QStringLiteral("~"));
    EXPECT_EQ(stringByAbbreviatingWithTildeInPath(h + QStringLiteral("/Documents/a.klv3")),
              QStringLiteral("~/Documents/a.klv3"));
    EXPECT_EQ(stringByAbbreviatingWithTildeInPath(h + QStringLiteral("2/x")), h + QStringLiteral("2/x"));
    EXPECT_EQ(stringByAbbreviatingWithTildeInPath(QStringLiteral("/srv/media")), QStringLiteral("/srv/media"));
    const QString p = h + QStringLiteral("/Movies/clip.mov");
    EXPECT_EQ(stringByExpandingTildeInPath(stringByAbbreviatingWithTildeInPath(p)), p);
}

TEST(AtomicFile, ReplacesContentsKeepsPermissionsAndReportsFailures)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new/folder/doc.klv3"));
    Error error;
    ASSERT_TRUE(writeFileAtomically(path, "first", &error)) << error.toString().toStdString();
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ASSERT_TRUE(writeFileAtomically(path, "second version", &error));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("second version"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    // A symbolic link keeps pointing at the (replaced) target.
    const QString link = dir.filePath(QStringLiteral("link.klv3"));
    ASSERT_TRUE(QFile::link(path, link));
    ASSERT_TRUE(writeFileAtomically(link, "through link", &error));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    QFile target(path);
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.readAll(), QByteArray("through link"));

    if (geteuid() != 0) { // root ignores folder permissions
        const QString locked = dir.filePath(QStringLiteral("locked"));
        QDir().mkpath(locked);
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_FALSE(writeFileAtomically(locked + QStringLiteral("/x.xml"), "data", &error));
        EXPECT_EQ(error.domain, QString::fromLatin1(kFileErrorDomain));
        EXPECT_TRUE(error.description.contains(QStringLiteral("x.xml")));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

TEST(AtomicFile, AFullDiskSaysSoWithThePathAndKeepsTheOldContents)
{
    QTemporaryDir dir;
    const QByteArray mountPoint = QFile::encodeName(dir.path());
    if (::geteuid() != 0 || ::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "needs root to mount a small file system";
    const QString path = dir.filePath(QStringLiteral("show.klv3"));
    Error error;
    ASSERT_TRUE(writeFileAtomically(path, "old contents", &error)) << error.toString().toStdString();
    EXPECT_FALSE(writeFileAtomically(path, QByteArray(1024 * 1024, 'x'), &error));
    EXPECT_EQ(error.code, ENOSPC);
    EXPECT_TRUE(error.description.contains(path)) << error.toString().toStdString();
    EXPECT_TRUE(error.failureReason.startsWith(QStringLiteral("writing \"") + dir.path() + QStringLiteral("/.show.klv3.")))
        << error.toString().toStdString();
    EXPECT_TRUE(error.failureReason.endsWith(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << error.toString().toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("old contents"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    file.close();
    ::umount2(mountPoint.constData(), MNT_DETACH);
}
