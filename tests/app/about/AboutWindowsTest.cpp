#include "app/about/AboutWindowController.h"
#include "app/about/AcknowledgmentsView.h"
#include "app/about/EulaView.h"
#include "app/about/LibraryAcknowledgment.h"
#include "app/about/LicenseWindowController.h"
#include "app/about/WindowPlacement.h"
#include "app/shell/KLVLocalized.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"

#include <QFile>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class AboutWindowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home_.isValid());
        platform::UserDefaults::setSharedFilePath(home_.filePath(QStringLiteral("Kalvanto.conf")));
        KLVLocalized::install();
    }
    testsupport::TempFolder home_;
};

TEST_F(AboutWindowsTest, TheButtonsFoldContentOutToFourHundredAndBackAndSwapWithoutFolding)
{
    AboutWindowController about;
    about.setAnimationDuration(0);
    about.showWindow();
    QWidget* container = about.additionalContentContainer();
    EXPECT_EQ(container->height(), 0);

    about.acknowledgmentsButton()->click();
    ASSERT_TRUE(testsupport::waitUntil([&] { return container->height() == 400; }));
    EXPECT_TRUE(about.acknowledgmentsButton()->isChecked());
    ASSERT_NE(about.shownContent(), nullptr);
    EXPECT_NE(dynamic_cast<AcknowledgmentsViewController*>(about.shownContent()), nullptr);

    // The other button swaps the content at once and leaves the first off.
    about.licenseButton()->click();
    EXPECT_NE(dynamic_cast<EULA::View*>(about.shownContent()), nullptr);
    EXPECT_EQ(about.additionalContentHeight(), 400);
    EXPECT_EQ(container->height(), 400);
    EXPECT_TRUE(about.licenseButton()->isChecked());
    EXPECT_FALSE(about.acknowledgmentsButton()->isChecked());

    about.licenseButton()->click();
    ASSERT_TRUE(testsupport::waitUntil([&] { return container->height() == 0 && !about.shownContent(); }));
    EXPECT_FALSE(about.licenseButton()->isChecked());
    EXPECT_FALSE(about.acknowledgmentsButton()->isChecked());

    EXPECT_EQ(AboutWindowController::versionLine(QStringLiteral("1.2.0"), QStringLiteral("45")), QStringLiteral("Version 1.2.0 (45)"));
}

TEST_F(AboutWindowsTest, TheAgreementIsShownOrNoEula)
{
    EULA::View shipped;
    EXPECT_TRUE(shipped.shownText().startsWith(QStringLiteral("KALVANTO END-USER LICENCE AGREEMENT")));
    EULA::View missing(nullptr, home_.filePath(QStringLiteral("none/eula.txt")));
    EXPECT_EQ(missing.shownText(), QStringLiteral("no eula"));
}

TEST_F(AboutWindowsTest, TheAcknowledgmentsListWhatTheBuildShipsWithTheirLicenceTexts)
{
    AcknowledgmentsViewController list;
    const QStringList expected = {QStringLiteral("Qt"), QStringLiteral("FFmpeg"), QStringLiteral("libpng"),
                                  QStringLiteral("libjpeg-turbo"), QStringLiteral("PortAudio"), QStringLiteral("libcurl"),
                                  QStringLiteral("SQLite"), QStringLiteral("zlib"), QStringLiteral("JSON for Modern C++")};
    ASSERT_EQ(list.rows().size(), size_t(expected.size()));
    for (size_t i = 0; i < list.rows().size(); ++i) {
        const auto& info = list.rows()[i]->info();
        EXPECT_EQ(info.title, expected[qsizetype(i)]);
        EXPECT_FALSE(info.author.startsWith(QStringLiteral("QM_"))) << info.author.toStdString();
        EXPECT_FALSE(info.description.startsWith(QStringLiteral("QM_")));
        ASSERT_TRUE(info.license.has_value());
        QFile text(*info.license);
        EXPECT_TRUE(text.open(QIODevice::ReadOnly)) << info.license->toStdString();
        EXPECT_GT(text.size(), 100);
    }
}

TEST_F(AboutWindowsTest, ALicenceWindowIsCentredTheFirstTimeAndReopensAtItsSavedFrame)
{
    QWidget main;
    main.setObjectName(QStringLiteral("KLVMainWindow"));
    main.setGeometry(100, 100, 1200, 800);
    main.show();
    const auto info = LibraryAcknowledgments::info(LibraryAcknowledgment::zlib);
    QRect first;
    {
        LicenseWindowController window(info);
        window.open();
        EXPECT_EQ(window.windowTitle(), QStringLiteral("zlib"));
        EXPECT_TRUE(window.licenseText().contains(QStringLiteral("zlib")));
        first = window.geometry();
        EXPECT_NEAR(first.center().x(), main.geometry().center().x(), 2);
        window.setGeometry(40, 60, 500, 400);
        window.close();
    }
    QRect saved;
    ASSERT_TRUE(WindowPlacement::savedFrame(QString::fromLatin1(LicenseWindowController::kAutosaveName), &saved));
    EXPECT_EQ(saved, QRect(40, 60, 500, 400));
    EXPECT_EQ(WindowPlacement::autosaveUserDefaultsKeyFor(QStringLiteral("x")), QStringLiteral("NSWindow Frame x"));
    LicenseWindowController again(info);
    again.open();
    EXPECT_EQ(again.geometry(), QRect(40, 60, 500, 400));
}

TEST_F(AboutWindowsTest, CentringOverAWindowNeverMovesAWindowLeftOrUp)
{
    QWidget target;
    target.setGeometry(0, 0, 1000, 1000);
    QWidget window;
    window.setGeometry(10, 10, 200, 100);
    WindowPlacement::centerWeightedOverWindow(window, target);
    // Its point 40 % up from its bottom is on the target's centre.
    EXPECT_EQ(window.frameGeometry().x(), target.frameGeometry().center().x() - 100);
    EXPECT_EQ(window.frameGeometry().y(), target.frameGeometry().center().y() - 60);

    QWidget beyond;
    beyond.setGeometry(900, 900, 200, 100);
    WindowPlacement::centerWeightedOverWindow(beyond, target);
    EXPECT_EQ(beyond.geometry().topLeft(), QPoint(900, 900));
}

} // namespace
