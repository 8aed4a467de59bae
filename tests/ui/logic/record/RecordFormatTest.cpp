// The record settings' texts and checks, and the destination file's name.
#include "tests/support/TempFolder.h"
#include "ui/logic/record/KLVRecordFormat.h"
#include "ui/logic/record/KLVRecordingPath.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

using namespace KLVRecordFormat;

TEST(RecordFormat, DurationsParseAndNormalise)
{
    EXPECT_EQ(durationInSeconds("1:30"), 90);
    EXPECT_EQ(durationText(durationInSeconds("1:30")), "00:01:30");
    EXPECT_EQ(durationInSeconds("1:00:00"), 3600);
    EXPECT_EQ(durationText(3600), "01:00:00");
    EXPECT_EQ(durationInSeconds("90"), 90);
    EXPECT_EQ(durationText(90), "00:01:30");
    EXPECT_EQ(durationInSeconds(" 45s"), 45);
    // Garbage is no time at all, never a huge or negative surprise.
    EXPECT_EQ(durationInSeconds("abc"), 0);
    EXPECT_EQ(durationInSeconds("1:2:3:4"), 1);
    EXPECT_EQ(durationInSeconds("99999999999"), 0x7fffffff);
    EXPECT_EQ(durationText(0), "00:00:00");
}

TEST(RecordFormat, CodecsChannelsAndNames)
{
    // Every offered codec has its own label: the five ProRes flavours and H.264, which every
    // index outside them records.
    QSet<QString> labels;
    for (int codec : offeredCodecs())
        labels.insert(codecLabelKey(codec));
    EXPECT_EQ(labels.size(), 6);
    EXPECT_EQ(codecLabelKey(3), "QM_CODEC_ProRes422LT");
    EXPECT_EQ(codecLabelKey(5), "QM_CODEC_H264");
    EXPECT_EQ(codecLabelKey(-1), "QM_CODEC_H264");

    EXPECT_EQ(inputAudioChannels(1), 2);
    EXPECT_EQ(inputAudioChannels(17), 2);
    EXPECT_EQ(inputAudioChannels(16), 16);

    EXPECT_TRUE(isValidFileName("clip 1:take"));
    for (const QString& bad : {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("a/b"),
                              QStringLiteral("a") + QChar(0) + QStringLiteral("b"), QString(252, u'x')})
        EXPECT_FALSE(isValidFileName(bad)) << bad.toStdString();
}

TEST(RecordFormat, SpaceLineAndQueueNotices)
{
    const double mib = 1024.0 * 1024.0, gib = 1024.0 * mib;
    // The 5 MiB margin: 4 MiB below the free space is already too much.
    EXPECT_TRUE(sizeWarning(100 * mib, 104 * mib));
    EXPECT_FALSE(sizeWarning(100 * mib, 106 * mib));
    EXPECT_EQ(sizeDescription(1.5 * gib, 0.8 * gib), "1.5 GB, 819.2 MB available on disk");

    QueueMonitor monitor;
    std::vector<int> notices;
    for (float headroom : {60.f, 44.f, 19.f, 30.f, 55.f, 40.f})
        notices.push_back(monitor.update(headroom));
    EXPECT_EQ(notices, (std::vector<int>{0, QueueMonitor::Warning, QueueMonitor::Danger, 0, 0, QueueMonitor::Warning}));
}

TEST(RecordingPath, NextFreeNameIsCreatedExclusively)
{
    testsupport::TempFolder dir;
    dir.writeFile("clip.mov", "a");
    dir.writeFile("clip_1.mov", "b");
    QSet<QString> claimed;
    auto isClaimed = [&](const QString& p) { return claimed.contains(p); };
    EXPECT_EQ(KLVRecordingPath::nextFreePath(dir.path(), "clip", isClaimed), dir.filePath("clip_2.mov"));
    EXPECT_TRUE(KLVRecordingPath::nextFreePath(QString(), "clip", isClaimed).isEmpty());

    // Another recording's claim counts like a file on disk.
    claimed.insert(dir.filePath("clip_2.mov"));
    QString error;
    const QString made = KLVRecordingPath::createRecordingFile(dir.path(), "clip", isClaimed, &error);
    EXPECT_EQ(made, dir.filePath("clip_3.mov"));
    EXPECT_TRUE(QFile::exists(made));
    EXPECT_EQ(dir.readFile("clip.mov"), "a"); // never touched
    claimed.insert(made);
    EXPECT_EQ(KLVRecordingPath::createRecordingFile(dir.path(), "clip", isClaimed, &error), dir.filePath("clip_4.mov"));

    const QString missing = dir.filePath("no/such/folder");
    EXPECT_TRUE(KLVRecordingPath::createRecordingFile(missing, "clip", isClaimed, &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}
