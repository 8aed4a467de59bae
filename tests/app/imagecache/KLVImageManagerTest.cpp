#include "app/imagecache/KLVImageManager.h"
#include "platform/foundation/Log.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <vector>

namespace {

struct Cue {
    std::optional<QString> uuid;
    std::optional<QString> name;
    std::optional<QString> UUID() const { return uuid; }
    std::optional<QString> plnName() const { return name; }
};

class ImageCache : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(data_.isValid());
        previous_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", data_.path().toUtf8());
        // The folders are made by the application at start-up, not by a path lookup.
        EXPECT_FALSE(QDir(data_.path() + "/Quenmark/Kalvanto/SlateImages").exists());
        KLVImageManager::slateImageFolder();
        KLVImageManager::thumbnailFolder();
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", previous_); }

    static void touch(const QString& path)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    }

    QTemporaryDir data_;
    QByteArray previous_;
};

} // namespace

TEST_F(ImageCache, PathsAreNamedByTheUUIDInTheirFolders)
{
    const Cue cue{QString("A1"), QString("clip")};
    const QString root = data_.path() + "/Quenmark/Kalvanto";
    EXPECT_EQ(KLVImageManager::slateImagePathForNode(cue), root + "/SlateImages/A1_slate.png");
    EXPECT_EQ(KLVImageManager::thumbnailImagePathForNode(cue), root + "/Thumbnails/A1_thumb.png");
    // A UUID that could leave the folder names no file at all.
    EXPECT_EQ(KLVImageManager::slateImagePathForNode(Cue{QString("../../escape"), {}}), "");
    EXPECT_EQ(KLVImageManager::thumbnailImagePathForNode(Cue{}), "");
    EXPECT_EQ(KLVImageManager::thumbnailImagePathForNode(Cue{QString(""), {}}), "");
}

TEST_F(ImageCache, ExistenceReportsThePathOnlyForAUUID)
{
    QString path = "untouched";
    EXPECT_FALSE(KLVImageManager::slateImageExistsForPlaylistNode(Cue{}, &path));
    EXPECT_EQ(path, "untouched");

    const Cue cue{QString("B2"), QString("clip")};
    EXPECT_FALSE(KLVImageManager::thumbnailImageExistsForPlaylistNode(cue, &path));
    EXPECT_EQ(path, KLVImageManager::thumbnailImagePathForNode(cue));
    touch(path);
    EXPECT_TRUE(KLVImageManager::thumbnailImageExistsForPlaylistNode(cue, &path));
    EXPECT_TRUE(KLVImageManager::thumbnailImageExistsForPlaylistNode(cue, nullptr));
    EXPECT_FALSE(KLVImageManager::slateImageExistsForPlaylistNode(cue, nullptr));
}

TEST_F(ImageCache, RemovalDeletesBothFilesAndLogsOnlyFailures)
{
    const Cue cue{QString("C3"), QString("clip")};
    platform::LogCapture log;
    KLVImageManager::removeImagesForNode(cue); // nothing cached: nothing happens
    EXPECT_EQ(log.count(), 0u);

    touch(KLVImageManager::thumbnailImagePathForNode(cue));
    touch(KLVImageManager::slateImagePathForNode(cue));
    const std::vector<const Cue*> cues{&cue, nullptr};
    KLVImageManager::removeImagesForNodes(cues);
    EXPECT_FALSE(QFile::exists(KLVImageManager::thumbnailImagePathForNode(cue)));
    EXPECT_FALSE(QFile::exists(KLVImageManager::slateImagePathForNode(cue)));
    EXPECT_EQ(log.count(), 0u);

    // A folder in the slate's place cannot be deleted as a file: the failure is logged.
    ASSERT_TRUE(QDir().mkpath(KLVImageManager::slateImagePathForNode(cue)));
    KLVImageManager::removeSlateForNode(cue);
    EXPECT_TRUE(log.contains("Error removing slate for node clip \n"));
}
