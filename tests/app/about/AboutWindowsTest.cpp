#include "app/about/AboutWindowController.h"
#include "app/about/AcknowledgmentsView.h"
#include "app/about/EulaView.h"
#include "app/about/LibraryAcknowledgment.h"
#include "app/about/LicenseWindowController.h"
#include "app/about/WindowPlacement.h"
#include "platform/foundation/UserDefaults.h"
#include "shell/KLVLocalized.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QTextBrowser>

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

TEST_F(AboutWindowsTest, EscapeClosesTheWindowWhereverTheFocusIs)
{
    AboutWindowController about;
    about.showWindow();
    ASSERT_TRUE(about.isVisible());
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());
    about.showWindow();
    // A focused button does not take Escape: it reaches the window.
    about.licenseButton()->setFocus();
    QTest::keyClick(about.licenseButton(), Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());
}

TEST_F(AboutWindowsTest, TheAgreementIsWrappedOnceByTheViewAtItsOwnWidth)
{
    EXPECT_EQ(EULA::reflowed(QStringLiteral("TITLE\n\n1. Licence. You may\n   install it.\n\n\n2. Next\r\n   item.\n")),
              QStringLiteral("TITLE\n\n1. Licence. You may install it.\n\n2. Next item."));
    EULA::View shipped;
    // The file's line break inside the first paragraph is gone from what is shown.
    EXPECT_TRUE(shipped.shownText().contains(QStringLiteral("you agree to its terms.")));
    EXPECT_TRUE(shipped.shownText().contains(
        QStringLiteral("By installing or using the software you agree to its terms.")));
    EXPECT_EQ(shipped.findChild<QTextBrowser*>()->lineWrapMode(), QTextEdit::WidgetWidth);
}

TEST_F(AboutWindowsTest, LicenceTextsKeepTheirColumnsAndOnlyOverlongParagraphsAreBroken)
{
    const QString paragraph = QStringLiteral("  ") + QString(QStringLiteral("word ")).repeated(40).trimmed();
    const QString path = QStringLiteral("        tests/") + QString(120, QLatin1Char('x')) + QStringLiteral(".cpp");
    const QStringList lines = LicenseWindowController::laidOut(QStringLiteral("Files: *\n") + paragraph + QLatin1Char('\n') + path)
                                  .split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 5);
    EXPECT_EQ(lines.front(), QStringLiteral("Files: *"));
    EXPECT_EQ(lines.back(), path); // nowhere to break
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 80);
        EXPECT_TRUE(lines[i].startsWith(QStringLiteral("  word"))) << lines[i].toStdString();
    }

    LicenseWindowController window(LibraryAcknowledgments::info(LibraryAcknowledgment::zlib));
    auto* text = window.findChild<QPlainTextEdit*>(QStringLiteral("licenseText"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::NoWrap);
    window.show();
    // The file's 80 columns fit without scrolling sideways.
    int widest = 0;
    for (const QString& line : window.licenseText().split(QLatin1Char('\n')))
        widest = std::max(widest, text->fontMetrics().horizontalAdvance(line));
    EXPECT_LE(widest, text->viewport()->width());
}

TEST_F(AboutWindowsTest, AcknowledgmentRowsFitTheWindowsWidth)
{
    AboutWindowController about;
    about.setAnimationDuration(0);
    about.showWindow();
    about.acknowledgmentsButton()->click();
    ASSERT_TRUE(testsupport::waitUntil([&] { return about.additionalContentContainer()->height() == 400; }));
    auto* scroll = about.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    QApplication::processEvents();
    const int width = scroll->viewport()->width();
    int checked = 0;
    for (QWidget* w : scroll->widget()->findChildren<QWidget*>()) {
        if (!qobject_cast<QLabel*>(w) && !qobject_cast<QPushButton*>(w))
            continue;
        const QRect inView(w->mapTo(scroll->widget(), QPoint(0, 0)), w->size());
        EXPECT_LE(inView.right(), width) << w->objectName().toStdString() << " " << qobject_cast<QLabel*>(w);
        ++checked;
    }
    EXPECT_GT(checked, 30);
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
