#include "app/document/KLVPlaylistNode.h"
#include "shell/KLVDataFile.h"
#include "tests/shell/ShellFixture.h"
#include "platform/foundation/Exception.h"
#include "tests/ui/support/FakePrompts.h"
#include "app/defaults/KLVDefaultsKeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

class DataFileTest : public ShellFixture {
protected:
    QString defaultPath() const { return documents() + QStringLiteral("/Kalvanto.klv3"); }
    QString storedKey() { return defaults().stringForKey(QString::fromLatin1(KLVDefaultsKeys::kDataFile)); }
    QStringList keptAside() const
    {
        return QDir(documents()).entryList({QStringLiteral("Kalvanto.klv3.unreadable-*")}, QDir::Files);
    }
    // A document on disk whose channel 1 holds one cue with this name.
    QString writeDocument(const QString& path, const QString& cueName)
    {
        auto playlist = KLVPlaylist::createForNumberOfOutputs(4);
        auto node = KLVPlaylistNode::create();
        node->setPlnName(cueName);
        node->setPlnSourcePath(QStringLiteral("/media/") + cueName + QStringLiteral(".mov"));
        playlist->channelForChannelNumber(1, true)->setPlaylistItems({node});
        QDir().mkpath(QFileInfo(path).absolutePath());
        KLVDataFile::serialize(*playlist, path);
        return path;
    }
    static QString firstCueName(const KLVDataFile::PlaylistPtr& playlist)
    {
        const auto items = playlist->channelForChannelNumber(1, true)->playlistItems();
        return items.empty() ? QString() : items.front()->plnName().value_or(QString());
    }

    testsupport::FakePrompter prompts_;
};

TEST_F(DataFileTest, WithoutADataFileTheDefaultPathIsStoredAndAFourChannelDocumentIsSavedThere)
{
    KLVDataFile file(prompts_, 4);
    EXPECT_EQ(KLVDataFile::dataFilePath(), defaultPath());
    EXPECT_EQ(storedKey(), QStringLiteral("~/Documents/Kalvanto.klv3"));
    const auto channels = file.playlistData()->playlistChannels();
    ASSERT_EQ(channels.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(channels[size_t(i)]->channelNumber(), i);
    // The fourth column asks for channel 4, which is made then.
    EXPECT_EQ(file.playlistDataForChannelNumber(4)->channelNumber(), 4);
    EXPECT_EQ(file.playlistData()->playlistChannels().size(), 5u);

    QDir().mkpath(documents());
    ASSERT_TRUE(file.saveLocalData());
    EXPECT_EQ(KLVDataFile::deserializedLocalFile(defaultPath())->playlistChannels().size(), 5u);
    EXPECT_TRUE(prompts_.shown.empty());
}

TEST_F(DataFileTest, AnUnreadableDataFileAtLaunchIsKeptAsideAndNeverOverwritten)
{
    struct Case {
        const char* what;
        QByteArray contents;
    };
    const Case cases[] = {
        {"corrupt", "<KLVPlaylist><playlistChannels"},
        {"array root", "<?xml version=\"1.0\"?><array></array>"},
        {"dictionary root", "<?xml version=\"1.0\"?><dictionary></dictionary>"},
        {"another class", "<?xml version=\"1.0\"?><KLVPlaylistNode qmXMLIvarName=\"x\"/>"},
        {"no class", "<?xml version=\"1.0\"?><Nothing/>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& old : keptAside())
            QFile::remove(documents() + QLatin1Char('/') + old);
        home_.writeFile(QStringLiteral("Documents/Kalvanto.klv3"), c.contents);
        prompts_.shown.clear();

        KLVDataFile file(prompts_, 4);
        ASSERT_EQ(file.playlistData()->playlistChannels().size(), 4u);
        EXPECT_NO_THROW(file.playlistDataForChannelNumber(2));
        const QStringList aside = keptAside();
        ASSERT_EQ(aside.size(), 1);
        QFile kept(documents() + QLatin1Char('/') + aside.first());
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), c.contents);
        EXPECT_EQ(prompts_.shown.size(), 1u);
        // The new document goes to the data path; the unreadable one stays where it was put.
        ASSERT_TRUE(file.saveLocalData());
        EXPECT_EQ(KLVDataFile::deserializedLocalFile(defaultPath())->playlistChannels().size(), 4u);
        EXPECT_EQ(keptAside(), aside);
    }
}

TEST_F(DataFileTest, ReadingNamesWhatIsWrong)
{
    const QString missing = home_.filePath(QStringLiteral("missing.klv3"));
    const QString arrayRooted = home_.writeFile(QStringLiteral("list.klv3"), "<?xml version=\"1.0\"?><array></array>");
    try {
        KLVDataFile::deserializedLocalFile(missing);
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.name(), QLatin1String(KLVDataFile::kOpenFailed));
        EXPECT_EQ(e.reason(), QStringLiteral("Failed to open file at url: ") + missing);
    }
    try {
        KLVDataFile::deserializedLocalFile(arrayRooted);
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.name(), QLatin1String(KLVDataFile::kParseFailed));
        EXPECT_EQ(e.reason(), QStringLiteral("unable to parse xml at ") + arrayRooted);
    }
}

TEST_F(DataFileTest, AFailedOpenLeavesTheDataFileAndTheDocument)
{
    writeDocument(defaultPath(), QStringLiteral("current"));
    KLVDataFile file(prompts_, 4);
    ASSERT_EQ(firstCueName(file.playlistData()), QStringLiteral("current"));
    const auto before = file.playlistData();
    const QString arrayRooted = home_.writeFile(QStringLiteral("Documents/list.klv3"), "<?xml version=\"1.0\"?><array></array>");

    for (const QString& bad : {arrayRooted, home_.filePath(QStringLiteral("Documents/missing.klv3"))}) {
        prompts_.shown.clear();
        EXPECT_FALSE(file.openFileAtURL(bad));
        EXPECT_EQ(storedKey(), QStringLiteral("~/Documents/Kalvanto.klv3"));
        EXPECT_EQ(file.playlistData(), before);
        EXPECT_EQ(prompts_.shown.size(), 1u);
    }
    // The next save still goes to the old file, not over the one that failed to open.
    ASSERT_TRUE(file.saveLocalData());
    EXPECT_EQ(firstCueName(KLVDataFile::deserializedLocalFile(defaultPath())), QStringLiteral("current"));
    QFile list(arrayRooted);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(list.readAll(), QByteArray("<?xml version=\"1.0\"?><array></array>"));

    // A good file switches both.
    const QString other = writeDocument(documents() + QStringLiteral("/other.klv3"), QStringLiteral("other"));
    ASSERT_TRUE(file.openFileAtURL(other));
    EXPECT_EQ(storedKey(), QStringLiteral("~/Documents/other.klv3"));
    EXPECT_EQ(firstCueName(file.playlistData()), QStringLiteral("other"));
    EXPECT_EQ(firstCueName(KLVDataFile::deserializedLocalFile(defaultPath())), QStringLiteral("current"));
}

TEST_F(DataFileTest, ADocumentOpenedBeforeTheDataFileIsReadLeavesTheDataFileAsItIs)
{
    // A document named at start is opened before anything reads the data file: that file is
    // neither read, nor written, nor moved aside when it does not read.
    const QByteArray unreadable = "<?xml version=\"1.0\"?><dictionary><broken";
    home_.writeFile(QStringLiteral("Documents/Kalvanto.klv3"), unreadable);
    const QString show = writeDocument(documents() + QStringLiteral("/show.klv3"), QStringLiteral("show"));
    KLVDataFile file(prompts_, 4);
    ASSERT_TRUE(file.openFileAtURL(show));
    EXPECT_EQ(storedKey(), QStringLiteral("~/Documents/show.klv3"));
    EXPECT_EQ(firstCueName(file.playlistData()), QStringLiteral("show"));
    EXPECT_TRUE(prompts_.shown.empty());
    EXPECT_TRUE(keptAside().isEmpty());
    QFile old(defaultPath());
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), unreadable);
}

TEST_F(DataFileTest, ANewFileOntoTheCurrentPathIsTheOneOnDisk)
{
    writeDocument(defaultPath(), QStringLiteral("old"));
    KLVDataFile file(prompts_, 6);
    ASSERT_EQ(firstCueName(file.playlistData()), QStringLiteral("old"));
    ASSERT_TRUE(file.newFile(defaultPath()));
    EXPECT_EQ(file.playlistData()->playlistChannels().size(), 6u);
    EXPECT_TRUE(firstCueName(file.playlistData()).isEmpty());
    const auto onDisk = KLVDataFile::deserializedLocalFile(defaultPath());
    EXPECT_EQ(onDisk->playlistChannels().size(), 6u);
    EXPECT_TRUE(firstCueName(onDisk).isEmpty());

    // Elsewhere: the old document is saved first, the new one becomes the data file.
    const QString elsewhere = documents() + QStringLiteral("/fresh.klv3");
    ASSERT_TRUE(file.newFile(elsewhere));
    EXPECT_EQ(storedKey(), QStringLiteral("~/Documents/fresh.klv3"));
    EXPECT_TRUE(QFileInfo::exists(elsewhere));
}

TEST_F(DataFileTest, AFailedSaveIsLoggedAndShownOnceUntilASaveWorksAgain)
{
    KLVDataFile file(prompts_, 4);
    // The data file's folder is a file: nothing can be written below it.
    home_.writeFile(QStringLiteral("blocked"), "not a folder");
    KLVDataFile::setDataFilePath(home_.filePath(QStringLiteral("blocked/Kalvanto.klv3")));
    file.playlistData();
    EXPECT_FALSE(file.saveLocalData());
    EXPECT_FALSE(file.saveLocalData());
    EXPECT_EQ(prompts_.shown.size(), 1u);

    KLVDataFile::setDataFilePath(defaultPath());
    QDir().mkpath(documents());
    EXPECT_TRUE(file.saveLocalData());
    KLVDataFile::setDataFilePath(home_.filePath(QStringLiteral("blocked/Kalvanto.klv3")));
    EXPECT_FALSE(file.saveLocalData());
    EXPECT_EQ(prompts_.shown.size(), 2u);
}

TEST_F(DataFileTest, SavesAskedForWhileTheFailureAlertIsUpDoNotRaiseItAgain)
{
    KLVDataFile file(prompts_, 4);
    home_.writeFile(QStringLiteral("blocked"), "disk full");
    KLVDataFile::setDataFilePath(home_.filePath(QStringLiteral("blocked/Kalvanto.klv3")));
    file.playlistData();
    // An import of three clips: each metadata reply saves, and they arrive under the alert.
    int nested = 0;
    prompts_.whileShown = [&](const KLVAlert&) {
        for (; nested < 3; ++nested)
            EXPECT_FALSE(file.saveLocalData());
    };
    EXPECT_FALSE(file.saveLocalData());
    EXPECT_EQ(nested, 3);
    ASSERT_EQ(prompts_.shown.size(), 1u);
    EXPECT_EQ(prompts_.shown[0].messageText, QStringLiteral("The playlists could not be saved. Your latest changes are not on disk."));
}

} // namespace

TEST_F(DataFileTest, AFileReadOnlyInPartIsCopiedAsideBeforeAnythingIsSavedOverIt)
{
    // Items the document cannot hold: a text where a cue goes, a map where the cue list goes.
    const QString good = writeDocument(home_.filePath(QStringLiteral("good.klv3")), QStringLiteral("kept"));
    QFile goodFile(good);
    ASSERT_TRUE(goodFile.open(QIODevice::ReadOnly));
    const QByteArray goodBytes = goodFile.readAll();
    struct Case {
        const char* what;
        QByteArray contents;
    };
    QByteArray wrongItem = goodBytes;
    wrongItem.replace("<KLVPlaylistNode ", "<NSString>stray</NSString><KLVPlaylistNode ");
    QByteArray mapOfItems = goodBytes;
    const qsizetype list = mapOfItems.lastIndexOf("<array", mapOfItems.indexOf("<KLVPlaylistNode "));
    ASSERT_GE(list, 0);
    mapOfItems.replace(list, 6, "<dictionary");
    mapOfItems.replace(mapOfItems.indexOf("</array>", list), 8, "</dictionary>");
    mapOfItems.replace("<KLVPlaylistNode ", "<KLVPlaylistNode qmXMLDictionaryKey=\"first\" ");
    ASSERT_NE(wrongItem, goodBytes);
    const Case cases[] = {{"a text among the cues", wrongItem}, {"a map for the cue list", mapOfItems}};
    auto originals = [this] {
        return QDir(documents()).entryList({QStringLiteral("Kalvanto.klv3.original-*")}, QDir::Files);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& old : originals())
            QFile::remove(documents() + QLatin1Char('/') + old);
        home_.writeFile(QStringLiteral("Documents/Kalvanto.klv3"), c.contents);
        prompts_.shown.clear();

        KLVDataFile file(prompts_, 4);
        file.playlistData();
        const QStringList kept = originals();
        ASSERT_EQ(kept.size(), 1);
        QFile copy(documents() + QLatin1Char('/') + kept.first());
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_EQ(copy.readAll(), c.contents);
        EXPECT_EQ(prompts_.shown.size(), 1u);
        // Saving writes what was read; the copy stays as it was made.
        ASSERT_TRUE(file.saveLocalData());
        EXPECT_EQ(originals(), kept);
    }

    // Opening such a file keeps its original too; a whole file leaves no copy.
    const QString partial = home_.writeFile(QStringLiteral("partial.klv3"), wrongItem);
    KLVDataFile file(prompts_, 4);
    file.playlistData();
    prompts_.shown.clear();
    ASSERT_TRUE(file.openFileAtURL(good));
    EXPECT_TRUE(QDir(home_.path()).entryList({QStringLiteral("good.klv3.original-*")}, QDir::Files).isEmpty());
    ASSERT_TRUE(file.openFileAtURL(partial));
    EXPECT_EQ(firstCueName(file.playlistData()), QStringLiteral("kept"));
    EXPECT_EQ(QDir(home_.path()).entryList({QStringLiteral("partial.klv3.original-*")}, QDir::Files).size(), 1);
    EXPECT_EQ(prompts_.shown.size(), 1u);
}
