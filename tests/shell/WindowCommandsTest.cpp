// The commands of the assembled window, reached as an operator reaches them (on the offscreen
// platform with the two virtual screens of AppDelegateTest.cpp): Edit ▸ Undo and Redo for every
// playlist edit, Help ▸ the manual and Check for Updates, each column's overlay controls and
// popovers that open inside the screen.
#include "app/document/KLVChannel.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/document/KLVPlaylist.h"
#include "shell/KLVAppDelegate.h"
#include "shell/KLVDataFile.h"
#include "tests/shell/ShellFixture.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "tests/ui/support/FakePrompts.h"
#include "tests/ui/support/ManualTimerSource.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelDragDrop.h"
#include "ui/logic/channel/KLVChannelTableEdits.h"
#include "ui/widgets/channel/KLVChannelColumn.h"
#include "ui/widgets/channel/KLVChannelConfigPopover.h"
#include "ui/widgets/inspector/KLVCueInspectorWindow.h"
#include "ui/widgets/overlay/KLVGraphicOverlayEditorView.h"
#include "ui/widgets/overlay/KLVGraphicOverlayWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>

#include <map>

namespace {

class WindowCommands : public ShellFixture {
protected:
    void TearDown() override { delegate_.reset(); }

    void launch(const QString& updateFeed = {})
    {
        KLVAppDelegate::Services services;
        // What the desktop would be asked to open, instead of a browser.
        services.openUrl = [this](const QUrl& url) {
            opened_.append(url);
            return true;
        };
        services.prompter = &prompts_;
        services.filePicker = &picker_;
        services.timers = &clock_;
        services.watchSleep = false;
        services.previewStrip = false;
        services.updateFeedUrl = updateFeed;
        services.engineFactory = [this](long tag) {
            auto engine = std::make_unique<testsupport::FakePlaybackEngine>();
            engine->fileDuration = 20;
            engines_[tag] = engine.get();
            return engine;
        };
        delegate_ = std::make_unique<KLVAppDelegate>(std::move(services));
        delegate_->applicationWillFinishLaunching();
        delegate_->applicationDidFinishLaunching();
        window_ = delegate_->mainWindow();
        ASSERT_NE(window_, nullptr);
        QApplication::setActiveWindow(window_);
    }

    KLVChannelColumn& column(int index) const
    {
        return *qobject_cast<KLVChannelColumn*>(window_->columns().at(size_t(index)).view);
    }

    static KLVPlaylistTableModel::NodePtr cue(const QString& name)
    {
        auto node = KLVPlaylistNode::create();
        node->setPlnName(name);
        node->setPlnSourcePath(QStringLiteral("/nowhere/%1.mov").arg(name));
        return node;
    }

    static QStringList names(KLVChannelController& channel)
    {
        QStringList list;
        for (const auto& node : channel.channel()->playlistItems())
            list << node->plnName().value_or(QString());
        return list;
    }

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        QTest::keyClick(window_, key, modifiers);
        QCoreApplication::processEvents();
    }

    testsupport::FakePrompter prompts_;
    testsupport::FakeFilePicker picker_;
    testsupport::ManualTimerSource clock_;
    std::map<long, testsupport::FakePlaybackEngine*> engines_;
    std::unique_ptr<KLVAppDelegate> delegate_;
    KLVMainWindow* window_ = nullptr;
    QList<QUrl> opened_;
};

TEST_F(WindowCommands, EditMenuTakesBackAndRedoesEveryPlaylistEditUnderItsName)
{
    launch();
    QAction* undo = window_->undoAction;
    QAction* redo = window_->redoAction;
    ASSERT_NE(undo, nullptr);
    ASSERT_NE(redo, nullptr);
    EXPECT_TRUE(window_->editMenu->actions().contains(undo));
    EXPECT_TRUE(window_->editMenu->actions().contains(redo));
    EXPECT_EQ(window_->editMenu->menuAction()->text(), QStringLiteral("&Edit"));
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());

    KLVChannelController& channel = *delegate_->channelControllerForTag(1);
    KLVChannelTableEdits& table = channel.table();
    table.insertNodes({cue("A"), cue("B"), cue("C")}, {0, 1, 2});
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Insert Nodes"));

    // Delete from the table, then back with Ctrl+Z and again with Ctrl+Shift+Z.
    table.selectRows({1});
    table.deleteSelection(true);
    EXPECT_EQ(names(channel), (QStringList{"A", "C"}));
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Delete Node"));
    press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(names(channel), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(redo->text(), QStringLiteral("Redo Delete Node"));
    EXPECT_TRUE(redo->isEnabled());
    press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(names(channel), (QStringList{"A", "C"}));
    press(Qt::Key_Z, Qt::ControlModifier);

    // A move within the channel: one step named for the move.
    table.selectRows({0});
    std::unique_ptr<QMimeData> rows = channel.dragDrop().mimeDataForRows({0});
    ASSERT_TRUE(rows);
    ASSERT_TRUE(channel.dragDrop().acceptDrop(*rows, &channel, 3, false));
    EXPECT_EQ(names(channel), (QStringList{"B", "C", "A"}));
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Move Node"));
    undo->trigger();
    EXPECT_EQ(names(channel), (QStringList{"A", "B", "C"}));

    // A replace carries the insert's name.
    table.replaceNodesAtIndexes({1}, {cue("D")});
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Insert Node"));
    undo->trigger();
    EXPECT_EQ(names(channel), (QStringList{"A", "B", "C"}));

    // An in or out point typed in the cue inspector is a step too; the keys work there as well.
    const auto node = channel.channel()->playlistItems().at(1);
    node->setOutPoint(20);
    delegate_->showInspectorForPlaylistNode(node, false);
    KLVCueInspectorWindow* inspector = delegate_->inspectorWindow();
    ASSERT_NE(inspector, nullptr);
    inspector->outField()->setText(QStringLiteral("00:00:05"));
    emit inspector->outField()->editingFinished();
    EXPECT_DOUBLE_EQ(node->outPoint(), 5);
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Set In and Out Points"));
    QApplication::setActiveWindow(inspector);
    QTest::keyClick(inspector, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(node->outPoint(), 20);
    EXPECT_EQ(engines_[0]->outPoint, 20);
    EXPECT_EQ(redo->text(), QStringLiteral("Redo Set In and Out Points"));
    redo->trigger();
    EXPECT_DOUBLE_EQ(node->outPoint(), 5);

    // Nothing left to take back: Undo is off again.
    while (undo->isEnabled())
        undo->trigger();
    EXPECT_TRUE(channel.channel()->playlistItems().empty());
    EXPECT_EQ(undo->text(), QStringLiteral("Undo"));
}

TEST_F(WindowCommands, EveryUndoAndRedoOfAPlaylistEditIsInTheSavedDocument)
{
    launch();
    QAction* undo = window_->undoAction;
    QAction* redo = window_->redoAction;
    KLVChannelController& channel = *delegate_->channelControllerForTag(1);
    KLVChannelTableEdits& table = channel.table();
    // What a program started now would read: channel 1 of the document on disk.
    const auto onDisk = [&] {
        QCoreApplication::processEvents();
        QStringList list;
        const auto document = KLVDataFile::deserializedLocalFile(KLVDataFile::dataFilePath());
        if (!document)
            return QStringList{"unreadable"};
        for (const auto& c : document->playlistChannels())
            if (c->channelNumber() == channel.channel()->channelNumber())
                for (const auto& node : c->playlistItems())
                    list << node->plnName().value_or(QString());
        return list;
    };
    table.insertNodes({cue("A"), cue("B"), cue("C")}, {0, 1, 2});
    delegate_->saveLocalData();
    ASSERT_EQ(onDisk(), (QStringList{"A", "B", "C"}));

    // Delete from the table: Ctrl+Z brings the cue back on disk too, Ctrl+Shift+Z takes it again.
    table.selectRows({1});
    table.deleteSelection(true);
    EXPECT_EQ(onDisk(), (QStringList{"A", "C"}));
    press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(onDisk(), (QStringList{"A", "B", "C"}));
    press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(onDisk(), (QStringList{"A", "C"}));
    undo->trigger();
    EXPECT_EQ(onDisk(), (QStringList{"A", "B", "C"}));

    // A reorder by drag and drop, undone and redone from the Edit menu.
    std::unique_ptr<QMimeData> rows = channel.dragDrop().mimeDataForRows({0});
    ASSERT_TRUE(rows);
    ASSERT_TRUE(channel.dragDrop().acceptDrop(*rows, &channel, 3, false));
    EXPECT_EQ(onDisk(), (QStringList{"B", "C", "A"}));
    undo->trigger();
    EXPECT_EQ(onDisk(), (QStringList{"A", "B", "C"}));
    redo->trigger();
    EXPECT_EQ(onDisk(), (QStringList{"B", "C", "A"}));
    undo->trigger();

    // A replace, and the insert itself, undone and redone.
    table.replaceNodesAtIndexes({1}, {cue("D")});
    delegate_->saveLocalData();
    EXPECT_EQ(onDisk(), (QStringList{"A", "D", "C"}));
    undo->trigger();
    EXPECT_EQ(onDisk(), (QStringList{"A", "B", "C"}));
    redo->trigger();
    EXPECT_EQ(onDisk(), (QStringList{"A", "D", "C"}));
    while (undo->isEnabled())
        undo->trigger();
    EXPECT_TRUE(onDisk().isEmpty());
    redo->trigger();
    EXPECT_EQ(onDisk(), (QStringList{"A", "B", "C"}));
}

TEST_F(WindowCommands, HelpMenuOpensTheInstalledManualAndSaysWhereUpdatesComeFrom)
{
    // The manual is found beside the program's bin folder, as installed and in the build tree.
    const QString bin = home_.filePath(QStringLiteral("prefix/bin"));
    EXPECT_TRUE(KLVAppDelegate::installedManualPath(bin).isEmpty());
    QDir().mkpath(home_.filePath(QStringLiteral("prefix/share/doc/kalvanto")));
    QFile manual(home_.filePath(QStringLiteral("prefix/share/doc/kalvanto/manual.html")));
    ASSERT_TRUE(manual.open(QIODevice::WriteOnly));
    manual.write("<html></html>");
    manual.close();
    EXPECT_EQ(KLVAppDelegate::installedManualPath(bin), QFileInfo(manual).absoluteFilePath());
    const QString built = KLVAppDelegate::installedManualPath(qEnvironmentVariable("KLV_BINARY_DIR") + QStringLiteral("/bin"));
    EXPECT_FALSE(built.isEmpty()) << "the build tree holds the manual";

    launch();
    // Without a feed address: the package manager's word, with the version.
    ASSERT_NE(window_->updatesAction, nullptr);
    window_->updatesAction->trigger();
    ASSERT_EQ(prompts_.shown.size(), 1u);
    EXPECT_EQ(prompts_.shown[0].messageText, QStringLiteral("Check for Updates"));
    EXPECT_TRUE(prompts_.shown[0].informativeText.contains(QCoreApplication::applicationVersion()));
    EXPECT_TRUE(prompts_.shown[0].informativeText.contains(QStringLiteral("package")));
    EXPECT_TRUE(opened_.isEmpty());
    // The test program has no manual beside it: the command is off rather than dead.
    EXPECT_EQ(window_->manualAction->isEnabled(), !delegate_->manualUrl().isEmpty());

    delegate_.reset();
    launch(QStringLiteral("https://updates.example.invalid/kalvanto"));
    window_->updatesAction->trigger();
    EXPECT_EQ(prompts_.shown.size(), 1u);
    ASSERT_EQ(opened_.size(), 1);
    EXPECT_EQ(opened_[0], QUrl(QStringLiteral("https://updates.example.invalid/kalvanto")));
}

TEST_F(WindowCommands, TheLastColumnsPopoversOpenInsideTheScreen)
{
    launch();
    QScreen* screen = QGuiApplication::screens().at(0);
    const QRect available = screen->availableGeometry();
    // The window against the screen's right edge, as with four columns on a 1920-wide screen.
    window_->move(available.right() + 1 - window_->frameGeometry().width(), available.top());
    QCoreApplication::processEvents();
    KLVChannelColumn& last = column(3);

    last.editChannelConfiguration();
    KLVChannelConfigPopover* popover = last.configurationPopover();
    ASSERT_TRUE(popover->isVisible());
    EXPECT_TRUE(available.contains(popover->frameGeometry())) << popover->frameGeometry().x();
    // Record mode's settings make it taller; it stays on the screen.
    popover->operationModeMenu()->setCurrentIndex(1);
    emit popover->operationModeMenu()->activated(1);
    EXPECT_TRUE(available.contains(popover->frameGeometry()));
    popover->hide();

    last.openJumpToTime();
    ASSERT_TRUE(last.jumpToTimePopup()->isVisible());
    EXPECT_TRUE(available.contains(last.jumpToTimePopup()->frameGeometry()));
    last.jumpToTimePopup()->hide();

    // The first column's popover still opens on the right of its button.
    KLVChannelColumn& first = column(0);
    window_->move(available.topLeft());
    QCoreApplication::processEvents();
    first.editChannelConfiguration();
    EXPECT_TRUE(available.contains(first.configurationPopover()->frameGeometry()));
    first.configurationPopover()->hide();
}

TEST_F(WindowCommands, EachColumnChoosesEditsShowsHidesAndRemovesItsOverlay)
{
    const QString png = home_.filePath(QStringLiteral("logo.png"));
    QImage logo(64, 32, QImage::Format_ARGB32);
    logo.fill(Qt::white);
    ASSERT_TRUE(logo.save(png));
    launch();
    KLVChannelColumn& col = column(1);
    KLVChannelController& channel = col.channel();
    testsupport::FakePlaybackEngine& engine = *engines_[2];
    QToolButton* menu = col.overlayMenuButton();
    QPushButton* showHide = col.overlayShowHideButton();
    ASSERT_NE(menu, nullptr);
    ASSERT_NE(showHide, nullptr);
    EXPECT_TRUE(menu->isVisibleTo(&col));
    EXPECT_TRUE(menu->menu()->actions().contains(col.chooseOverlayAction()));
    EXPECT_EQ(showHide->text(), QStringLiteral("Show Overlay"));
    EXPECT_FALSE(showHide->isEnabled());
    EXPECT_FALSE(col.removeOverlayAction()->isEnabled());

    // Choose: the image panel, then the editor window for this channel.
    picker_.openAnswers.push_back({png});
    col.chooseOverlayAction()->trigger();
    ASSERT_FALSE(picker_.opened.empty());
    EXPECT_TRUE(picker_.opened.back().fileExtensions.contains(QStringLiteral("png")));
    EXPECT_EQ(channel.channel()->graphicOverlayImagePath().value_or(QString()), png);
    KLVGraphicOverlayWindow* editor = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* e = qobject_cast<KLVGraphicOverlayWindow*>(w); e && e->isVisible())
            editor = e;
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Channel 2 Overlay Editor"));
    EXPECT_GE(engine.count("SetOverlayImage 64x32"), 1);
    EXPECT_TRUE(showHide->isEnabled());
    EXPECT_TRUE(col.editOverlayAction()->isEnabled());

    // Typed position and arrow nudges move it in output pixels (y-up), each reaching the engine.
    editor->positionXField()->setText(QStringLiteral("100"));
    emit editor->positionXField()->editingFinished();
    EXPECT_EQ(channel.channel()->graphicOverlayImageDisplayRect().x(), 100);
    const int before = engine.count("SetOverlayImage");
    editor->editorView()->setFocus();
    QTest::keyClick(editor->editorView(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(editor->editorView(), Qt::Key_Up);
    EXPECT_EQ(channel.channel()->graphicOverlayImageDisplayRect().topLeft(), QPointF(110, 1));
    EXPECT_EQ(engine.count("SetOverlayImage"), before + 2);
    editor->close();

    // Show and Hide fade over the channel's fade time (at least a second).
    QTest::mouseClick(showHide, Qt::LeftButton);
    EXPECT_EQ(engine.count("FadeOverlay 1 1.000"), 1);
    EXPECT_EQ(showHide->text(), QStringLiteral("Hide Overlay"));
    QTest::mouseClick(showHide, Qt::LeftButton);
    EXPECT_EQ(engine.count("FadeOverlay -1 1.000"), 1);
    EXPECT_EQ(showHide->text(), QStringLiteral("Show Overlay"));

    // Edit opens the same window again; Remove takes the image away and fades it out.
    col.editOverlayAction()->trigger();
    EXPECT_TRUE(editor->isVisible());
    QTest::mouseClick(showHide, Qt::LeftButton);
    col.removeOverlayAction()->trigger();
    EXPECT_FALSE(channel.channel()->graphicOverlayImagePath().has_value());
    EXPECT_EQ(engine.count("FadeOverlay -1"), 2);
    EXPECT_EQ(showHide->text(), QStringLiteral("Show Overlay"));
    EXPECT_FALSE(showHide->isEnabled());
    EXPECT_FALSE(col.removeOverlayAction()->isEnabled());
    // The other channels' overlays are untouched.
    EXPECT_EQ(engines_[1]->count("FadeOverlay"), 0);
}

TEST_F(WindowCommands, AClearedChannelLabelLeavesTheChannelUnnamed)
{
    launch();
    KLVChannelColumn& col = column(0);
    KLVChannelController& channel = col.channel();
    const QString key = QStringLiteral("KLVChannelLabel1");
    col.channelLabel()->setText(QStringLiteral("Stage Left"));
    emit col.channelLabel()->editingFinished();
    EXPECT_EQ(channel.channelName(), QStringLiteral("Stage Left"));
    col.channelLabel()->clear();
    emit col.channelLabel()->editingFinished();
    EXPECT_FALSE(defaults().objectForKey(key).isValid());
    EXPECT_TRUE(channel.channelName().isNull());
    // A label stored empty by an older version names nothing either.
    defaults().setObject(QString(""), key);
    EXPECT_TRUE(channel.channelName().isEmpty());
}

} // namespace
