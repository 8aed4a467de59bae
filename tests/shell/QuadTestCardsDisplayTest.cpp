// The quad test in the assembled program with real engines: two channels play to two virtual
// cards, whose frame logs show what goes on air. After the quad test both cards are on air again.
#include "engine/output/ssBaseOutput.h"
#include "platform/decklink/virtual/FrameLog.h"
#include "shell/KLVAppDelegate.h"
#include "tests/shell/DisplayShell.h"
#include "tests/shell/ShellFixture.h"
#include "tests/support/WaitUntil.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelOutput.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdlib>

namespace {

class QuadTestCards : public ShellFixture {
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        const QString cards = home_.writeFile(QStringLiteral("cards.json"), R"({"cards": [
          {"name": "Card A", "modes": [{"name": "Test 64x36p25", "width": 64, "height": 36, "frameDuration": 1, "timeScale": 25}]},
          {"name": "Card B", "modes": [{"name": "Test 64x36p25", "width": 64, "height": 36, "frameDuration": 1, "timeScale": 25}]}]})");
        logPrefix_ = home_.filePath(QStringLiteral("frames"));
        ::setenv("KLV_DECKLINK_PLUGIN", (qEnvironmentVariable("KLV_BINARY_DIR") + "/lib/klv-decklink-virtual.so").toLocal8Bit().constData(), 1);
        ::setenv("KLV_DECKLINK_VIRTUAL_CONFIG", cards.toLocal8Bit().constData(), 1);
        ::setenv(platform::decklink::kFrameLogEnvironmentVariable, logPrefix_.toLocal8Bit().constData(), 1);
        defaults().setObject(QStringLiteral("Card A"), QStringLiteral("KLVSelectedDeviceName1"));
        defaults().setObject(0, QStringLiteral("KLVSelectedModeIndex1"));
        defaults().setObject(QStringLiteral("Card B"), QStringLiteral("KLVSelectedDeviceName2"));
        defaults().setObject(0, QStringLiteral("KLVSelectedModeIndex2"));
    }
    qint64 logSize(int card) const
    {
        return QFileInfo(logPrefix_ + QLatin1Char('.') + QString::number(card)).size();
    }
    // The card puts new periods on air.
    bool onAir(int card)
    {
        const qint64 before = logSize(card);
        return testsupport::waitUntil([&] { return logSize(card) > before + qint64(4 * sizeof(platform::decklink::FrameLogRecord)); }, 10000);
    }

    QString logPrefix_;
};

TEST_F(QuadTestCards, BothCardsAreOnAirAgainAfterTheQuadTest)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X display";
    DisplayShell shell;
    KLVAppDelegate& app = shell.app();
    ASSERT_TRUE(onAir(0));
    ASSERT_TRUE(onAir(1));

    app.mainWindow()->quadTestAction->trigger();
    testsupport::pumpEvents(800);
    ASSERT_TRUE(app.isQuadTestMode());
    // Lent to the quadrants: the cards go quiet.
    const qint64 quiet = logSize(0);
    testsupport::pumpEvents(400);
    EXPECT_EQ(logSize(0), quiet);

    app.mainWindow()->quadTestAction->trigger();
    testsupport::pumpEvents(200);
    ASSERT_FALSE(app.isQuadTestMode());
    EXPECT_TRUE(onAir(0));
    EXPECT_TRUE(onAir(1));
    EXPECT_EQ(QString::fromUtf8(app.channelControllerForTag(1)->output().outputDevice()->Name_), "Card A");
    EXPECT_EQ(QString::fromUtf8(app.channelControllerForTag(2)->output().outputDevice()->Name_), "Card B");
}

} // namespace
