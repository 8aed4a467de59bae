#include "app/util/KLVFileReveal.h"
#include "app/util/KLVUtilities.h"
#include "app/util/WritableDestination.h"
#include "platform/foundation/Log.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

void touch(const QString& path, const QByteArray& data = "x")
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(data);
}

} // namespace

TEST(ImportFiles, KeepsMoviesSkipsHiddenAndMissing)
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    touch(root + "/a.MOV");
    touch(root + "/b.png");
    touch(root + "/.hidden.mov");
    ASSERT_TRUE(QDir(root).mkdir("sub"));
    touch(root + "/sub/c.mp4");
    EXPECT_EQ(KLVUtilities::validFilesFromImport({root}), QStringList({root + "/a.MOV", root + "/sub/c.mp4"}));

    platform::LogCapture log;
    const QVariantList items{QUrl::fromLocalFile(root + "/sub/c.mp4"), QVariant(42), root + "/gone.mov"};
    EXPECT_EQ(KLVUtilities::validFilesFromImport(items), QStringList({root + "/sub/c.mp4"}));
    EXPECT_TRUE(log.contains(("+[KLVUtilities validFilesFromImport:]: skipping import: " + root
                              + "/gone.mov does not exist").toStdString()));
}

TEST(ImportFiles, SymbolicLinkLoopsEnd)
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    ASSERT_TRUE(QDir(root).mkpath("a/b"));
    touch(root + "/a/b/clip.mov");
    ASSERT_TRUE(QFile::link(root + "/a", root + "/a/b/up"));
    ASSERT_TRUE(QFile::link(root + "/a", root + "/a/self"));
    EXPECT_EQ(KLVUtilities::validFilesFromImport({root}), QStringList({root + "/a/b/clip.mov"}));
    EXPECT_EQ(KLVUtilities::recursiveFileListForDirectory(root), QStringList({root + "/a/b/clip.mov"}));
}

TEST(RecursiveFileList, SkipsDotAndTildeNames)
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    touch(root + "/~lock");
    touch(root + "/.DS_Store");
    touch(root + "/one.txt");
    ASSERT_TRUE(QDir(root).mkdir("sub"));
    touch(root + "/sub/two.mov");
    EXPECT_EQ(KLVUtilities::recursiveFileListForDirectory(root),
              QStringList({root + "/one.txt", root + "/sub/two.mov"}));
    EXPECT_TRUE(KLVUtilities::recursiveFileListForDirectory(root + "/missing").isEmpty());
}

TEST(ValidFilename, ProbesPrivatelyAndNeverTouchesExistingFiles)
{
    EXPECT_FALSE(WritableDestination::isValidFilename(""));
    EXPECT_TRUE(WritableDestination::isValidFilename("clip 1.mov"));
    EXPECT_FALSE(WritableDestination::isValidFilename("no-such-folder/clip.mov"));
    EXPECT_FALSE(WritableDestination::isValidFilename(".."));
    EXPECT_FALSE(WritableDestination::isValidFilename("../escape"));
    EXPECT_FALSE(WritableDestination::isValidFilename(QString(300, QChar('n'))));

    // A file of the same name in the shared temporary folder stays as it was.
    const QString shared = QDir::tempPath() + "/klv-probe-existing.txt";
    touch(shared, "keep me");
    EXPECT_TRUE(WritableDestination::isValidFilename("klv-probe-existing.txt"));
    QFile f(shared);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("keep me"));
    f.close();
    QFile::remove(shared);
}

TEST(FileReveal, ShowsSelectsFallsBackOrAlerts)
{
    QTemporaryDir tmp;
    touch(tmp.path() + "/clip.mov");
    const QList<QUrl> urls{QUrl::fromLocalFile(tmp.path() + "/clip.mov")};

    bool shown = false;
    QList<QUrl> shownUrls, opened;
    QStringList alerts;
    KLVFileReveal::Hooks hooks;
    hooks.showItems = [&](const QList<QUrl>& u, std::function<void(bool)> done) {
        shownUrls = u;
        done(shown);
    };
    hooks.openFolder = [&](const QUrl& folder) { opened.append(folder); };
    hooks.alert = [&](const QString& message, const QString&) { alerts.append(message); };
    KLVFileReveal::setHooks(hooks);

    shown = true;
    KLVUtilities::selectFileInFinder(urls);
    EXPECT_EQ(shownUrls, urls);
    EXPECT_TRUE(opened.isEmpty());

    shown = false; // no file manager answered: the folder is opened instead
    KLVUtilities::selectFileInFinder(urls);
    EXPECT_EQ(opened, QList<QUrl>({QUrl::fromLocalFile(tmp.path())}));

    shownUrls.clear();
    KLVUtilities::selectFileInFinder({QUrl::fromLocalFile(tmp.path() + "/gone.mov")});
    KLVUtilities::selectFileInFinder({});
    EXPECT_TRUE(shownUrls.isEmpty());
    ASSERT_EQ(alerts.size(), 2);
    EXPECT_EQ(alerts[0], KLVFileReveal::fileNotLocatedMessage("gone.mov"));
    KLVFileReveal::resetHooks();
}

TEST(FileReveal, DBusCallWithoutABusAnswersNoAtOnce)
{
#if defined(__SANITIZE_THREAD__)
    // Making any bus connection starts Qt's own D-Bus thread, which is not instrumented here and
    // only gives ThreadSanitizer reports about Qt's internals.
    GTEST_SKIP() << "Qt's D-Bus thread under ThreadSanitizer";
#endif
    const QDBusConnection none = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                                QStringLiteral("klv-test-no-bus"));
    ASSERT_FALSE(none.isConnected());
    int answers = 0;
    bool result = true;
    KLVFileReveal::showItemsOverDBus(none, {QUrl::fromLocalFile("/tmp/x")}, [&](bool ok) {
        ++answers;
        result = ok;
    });
    EXPECT_EQ(answers, 1);
    EXPECT_FALSE(result);
    QDBusConnection::disconnectFromBus(QStringLiteral("klv-test-no-bus"));
}
