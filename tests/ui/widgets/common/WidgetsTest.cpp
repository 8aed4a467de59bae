#include "ui/widgets/common/KLVTimeCodeTextField.h"
#include "ui/widgets/common/KLVTransportButton.h"
#include "ui/widgets/common/MiddleRightAlignedTextFieldCell.h"
#include "ui/widgets/common/QMResizing.h"
#include "ui/widgets/ports/KLVFileDialogPicker.h"
#include "ui/widgets/ports/KLVMessageBoxPrompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct TransportRecord {
    bool playing = false;
    std::vector<std::string> calls;
    KLVTransportButton::Target target()
    {
        return {[this] { return playing; }, [this] { calls.push_back("rewind"); },
                [this] { calls.push_back("fastForward"); }, [this] { calls.push_back("resumePlayRate"); },
                [this] { calls.push_back("action"); }};
    }
};

} // namespace

TEST(TransportButton, HeldStepButtonsShuttleWhilePlayingAndActOnPressWhileStopped)
{
    TransportRecord rec;
    KLVTransportButton forward;
    forward.setTag(5);
    forward.setTarget(rec.target());
    KLVTransportButton back;
    back.setTag(2);
    back.setTarget(rec.target());
    KLVTransportButton pause;
    pause.setTag(3);
    pause.setTarget(rec.target());

    rec.playing = true;
    QTest::mousePress(&forward, Qt::LeftButton);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"fastForward"}));
    EXPECT_TRUE(forward.isDown());
    QTest::mouseRelease(&forward, Qt::LeftButton);
    QTest::mousePress(&back, Qt::LeftButton);
    QTest::mouseRelease(&back, Qt::LeftButton);
    QTest::mousePress(&pause, Qt::LeftButton); // other tags send nothing while playing
    QTest::mouseRelease(&pause, Qt::LeftButton);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"fastForward", "resumePlayRate", "rewind", "resumePlayRate",
                                                   "resumePlayRate"}));
    EXPECT_FALSE(forward.isDown());

    rec.calls.clear();
    rec.playing = false;
    QTest::mousePress(&forward, Qt::LeftButton);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"action"})); // on press, not on release
    QTest::mouseRelease(&forward, Qt::LeftButton);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"action"}));
}

TEST(TimeCodeTextField, ClickTogglesTheTimeCodeAndTheBadgeNeedsSourceTimeCode)
{
    KLVTimeCodeTextField field;
    field.resize(80, 20);
    QSignalSpy spy(&field, &KLVTimeCodeTextField::showTimeCodeChanged);
    QTest::mouseClick(&field, Qt::LeftButton);
    EXPECT_TRUE(field.showTimeCode());
    QTest::mouseClick(&field, Qt::LeftButton);
    EXPECT_FALSE(field.showTimeCode());
    ASSERT_EQ(spy.count(), 2);
    EXPECT_TRUE(spy.at(0).at(0).toBool());
    EXPECT_FALSE(field.badgeText().isEmpty());

    KLVTimeLabel& label = field;
    label.setText(QStringLiteral("00:00:01:00"));
    label.setTextColor(QColor(255, 149, 0));
    EXPECT_EQ(field.text(), QStringLiteral("00:00:01:00"));
    EXPECT_EQ(field.palette().color(QPalette::WindowText), QColor(255, 149, 0));
    label.setTextColor(QColor());
    EXPECT_EQ(field.palette().color(QPalette::WindowText), QPalette().color(QPalette::WindowText));
}

TEST(SmallWidgets, CellAndWindowGeometry)
{
    // Centred vertically; 4 points kept clear on the right when the text leaves room.
    const QRectF r = MiddleRightAlignedTextFieldCell::titleRectForBounds(QRectF(0, 10, 100, 20), QSizeF(40, 14));
    EXPECT_DOUBLE_EQ(r.y(), 10 + 3 - 0.5);
    EXPECT_DOUBLE_EQ(r.height(), 14);
    EXPECT_DOUBLE_EQ(r.width(), 96 - 4);
    // Text wider than the cell: nothing shrinks.
    EXPECT_DOUBLE_EQ(MiddleRightAlignedTextFieldCell::titleRectForBounds(QRectF(0, 0, 30, 20), QSizeF(60, 14)).width(),
                     26);

    EXPECT_EQ(QMResizing::topAlignedFrame(QRect(100, 50, 200, 100), QSize(300, 160)), QRect(50, 50, 300, 160));
    EXPECT_EQ(QMResizing::frameResizedBy(QRect(100, 50, 200, 100), QSize(-20, 40)), QRect(100, 50, 180, 140));
}

TEST(WidgetPorts, MessageBoxAnswersTheChosenButtonIndex)
{
    KLVMessageBoxPrompter prompter;
    const KLVAlert alert{QStringLiteral("Replace?"), QStringLiteral("The file exists."),
                         {QStringLiteral("Cancel"), QStringLiteral("Replace"), QStringLiteral("Keep Both")},
                         KLVAlert::Style::Warning};
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* b : box->buttons())
            if (b->text() == QStringLiteral("Keep Both"))
                b->click();
    });
    EXPECT_EQ(prompter.runModal(alert), 2);

    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->defaultButton()->click();
    });
    EXPECT_EQ(prompter.runModal(KLVAlert{QStringLiteral("Done"), {}, {}, KLVAlert::Style::Informational}), 0);

    // The same notice raised again while it is up (work of the modal loop) is not stacked on it;
    // a question is always asked, and the notice shows again once it was answered.
    const KLVAlert notice{QStringLiteral("The playlists could not be saved."), QStringLiteral("/x"), {}, KLVAlert::Style::Warning};
    int boxesUp = 0;
    int nestedAnswer = -2;
    QTimer::singleShot(0, [&] {
        const QWidgetList tops = QApplication::topLevelWidgets();
        boxesUp = int(std::count_if(tops.begin(), tops.end(),
                                    [](QWidget* w) { return qobject_cast<QMessageBox*>(w) && w->isVisible(); }));
        nestedAnswer = prompter.runModal(notice);
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->defaultButton()->click();
    });
    EXPECT_EQ(prompter.runModal(notice), 0);
    EXPECT_EQ(boxesUp, 1);
    EXPECT_EQ(nestedAnswer, 0);
    bool shownAgain = false;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shownAgain = true;
            box->defaultButton()->click();
        }
    });
    EXPECT_EQ(prompter.runModal(notice), 0);
    EXPECT_TRUE(shownAgain);

    EXPECT_EQ(KLVFileDialogPicker::nameFilterFor({QStringLiteral("mov"), QStringLiteral(".mp4"), QString()}),
              QStringLiteral("Files (*.mov *.mp4)"));
    EXPECT_TRUE(KLVFileDialogPicker::nameFilterFor({}).isEmpty());
}

TEST(WidgetPorts, NoticesHeldAtStartUpWaitForNobodyAndAreShownOnRelease)
{
    KLVMessageBoxPrompter prompter;
    const auto boxesUp = [] {
        QStringList texts;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                texts << box->text();
        texts.sort();
        return texts;
    };
    // Whether runModal ran an event loop of its own (which this then ends, by answering the box
    // it waits for): a timer only fires inside it when it does.
    bool ranLoop = false;
    const auto ask = [&](const KLVAlert& alert) {
        bool inside = true;
        ranLoop = false;
        QTimer::singleShot(0, [&] {
            if (!inside)
                return;
            ranLoop = true;
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->defaultButton()->click();
        });
        const int answer = prompter.runModal(alert);
        inside = false;
        QCoreApplication::processEvents();
        return answer;
    };
    const KLVAlert saveFailed{QStringLiteral("The playlists could not be saved."), QStringLiteral("/x"), {},
                              KLVAlert::Style::Warning};
    const KLVAlert inUse{QStringLiteral("Device already in use by: Channel 2"), {}, {QStringLiteral("OK")},
                         KLVAlert::Style::Warning};

    prompter.holdNotices();
    EXPECT_EQ(ask(saveFailed), 0);
    EXPECT_FALSE(ranLoop);
    EXPECT_EQ(ask(inUse), 0);
    EXPECT_EQ(ask(saveFailed), 0); // kept once
    EXPECT_FALSE(ranLoop);
    EXPECT_TRUE(boxesUp().isEmpty());
    // A question is asked even while notices are held: its answer is wanted.
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            for (QAbstractButton* b : box->buttons())
                if (b->text() == QStringLiteral("Quit"))
                    b->click();
    });
    EXPECT_EQ(prompter.runModal(KLVAlert{QStringLiteral("Quit?"), {}, {QStringLiteral("Cancel"), QStringLiteral("Quit")},
                                         KLVAlert::Style::Warning}),
              1);

    // Released: every kept notice is on the screen at once, and nothing waits for them.
    prompter.releaseNotices();
    EXPECT_EQ(boxesUp(), (QStringList{inUse.messageText, saveFailed.messageText}));
    EXPECT_EQ(ask(saveFailed), 0); // still up: not stacked
    EXPECT_FALSE(ranLoop);
    EXPECT_EQ(boxesUp().size(), 2);

    // Answered, a notice goes; raised again later it is shown again, modally as ever.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && box->text() == saveFailed.messageText)
            box->defaultButton()->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(boxesUp(), QStringList{inUse.messageText});
    EXPECT_EQ(ask(saveFailed), 0);
    EXPECT_TRUE(ranLoop);
}
