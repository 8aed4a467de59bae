// Engines are opened, closed, created and destroyed over and over; the sanitizer builds run these
// to find leaks, races and use after free.

#include "EngineHarness.h"

#include "tests/support/MediaFiles.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <atomic>
#include <random>
#include <thread>

TEST(EngineLifecycle, HundredOpenCloseCycles)
{
    EngineHarness harness;
    const char* clips[] = {"h264_2997_aac", "two_audio", "still_png", "not_media", "no_audio"};
    for (int i = 0; i < 100; ++i) {
        const char* name = clips[i % 5];
        int32_t result = harness.open(name);
        ASSERT_EQ(result == 0, std::string(name) != "not_media") << name << " " << result;
        if (i % 3 == 0)
            harness.engine().Open("", false);
    }
}

TEST(EngineLifecycle, FiftyOpenSeekPlayCycles)
{
    for (int i = 0; i < 50; ++i) {
        // A fresh engine every few rounds: construction and destruction are part of the cycle.
        EngineHarness harness;
        for (int k = 0; k < 2 && i < 50; ++k, ++i) {
            ASSERT_EQ(harness.open(i % 2 ? "h264_2997_aac" : "prores_422_10bit_pcm"), 0);
            harness.engine().Seek(0.2 + 0.03 * (i % 20), i % 4 == 0);
            harness.engine().Play();
            for (int s = 0; s < 5; ++s) {
                harness.step();
                harness.present();
            }
            harness.engine().Pause();
        }
    }
}

TEST(EngineLifecycle, DestroyingAPlayingEngineStopsEverything)
{
    for (int i = 0; i < 5; ++i) {
        EngineHarness harness;
        ASSERT_EQ(harness.open("two_audio"), 0);
        harness.engine().Play();
        for (int s = 0; s < 3; ++s) {
            harness.step();
            harness.present();
        }
        // The harness destroys the engine mid-play here.
    }
}

TEST(EngineLifecycle, OutputChangesWhileAFileIsOpen)
{
    EngineHarness harness;
    ASSERT_EQ(harness.open("h264_2997_aac"), 0);
    ssOutputFormat card{2, 1280, 720, 0, 59.94f};
    ssOutputFormat screen{1, 1920, 1080, 0, 60.0f};
    for (int i = 0; i < 4; ++i) {
        harness.engine().SetOutputFormat(i % 2 ? &screen : &card);
        ASSERT_TRUE(harness.waitForBuffers());
    }
    harness.engine().SetOutputFormat(nullptr);
    EXPECT_EQ(harness.engine().Open(testsupport::mediaPath("no_audio").toStdString().c_str(), false), -1);
}

TEST(EngineLifecycle, TruncatedAndCorruptedFilesPlayWithoutHarm)
{
    testsupport::TempFolder temp;
    QFile source(testsupport::mediaPath("h264_2997_aac"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray original = source.readAll();
    EngineHarness harness;
    std::mt19937 random(1234);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        QByteArray damaged = original;
        if (round < 4) {
            damaged.truncate(damaged.size() * (round + 1) / 5); // cut short
        } else {
            std::uniform_int_distribution<qsizetype> where(0, damaged.size() - 1);
            for (int i = 0; i < 40; ++i)
                damaged[where(random)] = char(random());
        }
        const QString path = QDir::homePath() + QString("/damaged%1.mov").arg(round);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(damaged);
        file.close();
        if (harness.engine().Open(path.toUtf8().constData(), false) != 0) {
            EXPECT_FALSE(harness.engine().IsFileOpen());
            continue;
        }
        harness.engine().Play();
        std::optional<uint32_t> last;
        for (int s = 0; s < 150; ++s) {
            harness.step();
            if (auto index = harness.present()) {
                // Error concealment may repeat old pictures in damaged files; cut ones stay in order.
                if (last && round < 4) {
                    EXPECT_GT(*index, *last);
                }
                last = index;
            }
        }
        harness.engine().Seek(0.5, 0);
    }
}

TEST(EngineLifecycle, ThePreviewReadsLevelsWhileFilesOpenAndClose)
{
    // The preview's display link asks for its stamp on a thread of its own, whatever the engine's
    // lane is opening at the time: the first file creates the audio output, every file counts its
    // channels anew.
    EngineHarness harness;
    std::atomic<bool> done{false};
    std::atomic<int> stamps{0};
    std::thread preview([&] {
        while (!done.load()) {
            harness.engine().PreviewStamp();
            ++stamps;
        }
    });
    const char* clips[] = {"two_audio", "h264_2997_aac", "no_audio", "prores_422_10bit_pcm"};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(harness.open(clips[i % 4]), 0) << clips[i % 4];
    done = true;
    preview.join();
    EXPECT_GT(stamps.load(), 0);
}
