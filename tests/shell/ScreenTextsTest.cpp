// Every text the assembled program puts on screen is written out, and every control of a channel
// column has a name a screen reader can speak. The walk is generic: it opens what the program
// can open and reads every top-level widget and its children, so new windows are covered.
#include "app/about/AboutWindowController.h"
#include "app/about/AcknowledgmentsView.h"
#include "app/about/LicenseWindowController.h"
#include "app/document/KLVChannel.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/util/KLVUtilities.h"
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "resources/strings/KLVLocalized.h"
#include "shell/KLVAppDelegate.h"
#include "shell/KLVMainWindow.h"
#include "tests/shell/ShellFixture.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "tests/ui/support/FakePrompts.h"
#include "tests/ui/support/ManualTimerSource.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelImport.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelOverlay.h"
#include "ui/logic/channel/KLVChannelRecord.h"
#include "ui/logic/channel/KLVChannelTableEdits.h"
#include "ui/widgets/channel/KLVChannelColumn.h"
#include "ui/widgets/channel/KLVChannelConfigPopover.h"
#include "ui/widgets/common/QMProgressView.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabBar>
#include <QTextEdit>

namespace {

class ScreenTextsTest : public ShellFixture {
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        KLVAppDelegate::Services services;
        services.prompter = &prompts_;
        services.filePicker = &picker_;
        services.timers = &clock_;
        services.watchSleep = false;
        services.previewStrip = false; // OpenGL: the display test draws it
        services.engineFactory = [](long) { return std::make_unique<testsupport::FakePlaybackEngine>(); };
        delegate_ = std::make_unique<KLVAppDelegate>(std::move(services));
        delegate_->applicationWillFinishLaunching();
        delegate_->applicationDidFinishLaunching();
    }
    void TearDown() override { delegate_.reset(); }

    std::vector<KLVChannelColumn*> columns() const
    {
        std::vector<KLVChannelColumn*> found;
        for (const KLVMainWindow::Column& c : delegate_->mainWindow()->columns())
            if (auto* column = qobject_cast<KLVChannelColumn*>(c.view))
                found.push_back(column);
        return found;
    }

    testsupport::FakePrompter prompts_;
    testsupport::FakeFilePicker picker_;
    testsupport::ManualTimerSource clock_;
    std::unique_ptr<KLVAppDelegate> delegate_;
};

// A text shows a raw key, or a placeholder nobody filled in.
bool unwritten(const QString& text)
{
    static const QRegularExpression placeholder(QStringLiteral("%[1-9@]"));
    return text.trimmed().startsWith(QStringLiteral("QM_")) || text.contains(placeholder);
}

QString describe(const QWidget* w)
{
    return QStringLiteral("%1 \"%2\" in %3")
        .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(), w->window()->windowTitle());
}

// Everything a widget shows or says about itself.
QStringList textsOf(QWidget* w)
{
    QStringList texts{w->windowTitle(), w->toolTip(), w->accessibleName(), w->accessibleDescription(),
                      w->statusTip(), w->whatsThis()};
    if (QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w))
        texts << a->text(QAccessible::Name) << a->text(QAccessible::Description);
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        texts << b->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        texts << l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w))
        texts << e->text() << e->placeholderText();
    if (auto* c = qobject_cast<QComboBox*>(w))
        for (int i = 0; i < c->count(); ++i)
            texts << c->itemText(i) << c->itemData(i, Qt::ToolTipRole).toString();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        texts << g->title();
    if (auto* t = qobject_cast<QTabBar*>(w))
        for (int i = 0; i < t->count(); ++i)
            texts << t->tabText(i) << t->tabToolTip(i);
    if (auto* v = qobject_cast<QAbstractItemView*>(w); v && v->model()) {
        const QAbstractItemModel* m = v->model();
        for (int c = 0; c < m->columnCount(); ++c)
            texts << m->headerData(c, Qt::Horizontal).toString() << m->headerData(c, Qt::Horizontal, Qt::ToolTipRole).toString();
        for (int r = 0; r < std::min(m->rowCount(), 50); ++r)
            for (int c = 0; c < m->columnCount(); ++c)
                texts << m->index(r, c).data().toString() << m->index(r, c).data(Qt::ToolTipRole).toString();
    }
    for (QAction* action : w->actions())
        texts << action->text() << action->toolTip() << action->statusTip();
    // Long documents (licences) are only checked for raw keys: they may hold a "%" of their own.
    if (auto* p = qobject_cast<QPlainTextEdit*>(w); p && p->toPlainText().startsWith(QStringLiteral("QM_")))
        texts << p->toPlainText().left(40);
    if (auto* t = qobject_cast<QTextEdit*>(w); t && t->toPlainText().startsWith(QStringLiteral("QM_")))
        texts << t->toPlainText().left(40);
    return texts;
}

// Every top-level widget, shown or not, and all it holds.
QStringList unwrittenTexts()
{
    QStringList problems;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        QList<QWidget*> all = top->findChildren<QWidget*>();
        all.prepend(top);
        for (QWidget* w : all)
            for (const QString& text : textsOf(w))
                if (unwritten(text))
                    problems << describe(w) + QStringLiteral(": ") + text;
    }
    problems.removeDuplicates();
    return problems;
}

QStringList unwrittenAlerts(const testsupport::FakePrompter& prompts, const testsupport::FakeFilePicker& picker)
{
    QStringList problems;
    for (const KLVAlert& alert : prompts.shown)
        for (const QString& text : QStringList{alert.messageText, alert.informativeText} + alert.buttons)
            if (unwritten(text))
                problems << QStringLiteral("alert \"%1\": %2").arg(alert.messageText, text);
    for (const KLVOpenPanelOptions& panel : picker.opened)
        if (unwritten(panel.title))
            problems << QStringLiteral("panel: ") + panel.title;
    return problems;
}

TEST_F(ScreenTextsTest, EveryWindowPopoverAlertAndPanelTheProgramOpensShowsWrittenTexts)
{
    ASSERT_EQ(columns().size(), 4u);
    // A cue in the first channel, so the tables, the inspector and the transport have something.
    const QString clip = home_.writeFile(QStringLiteral("media/Opener.mov"), "x");
    KLVChannelController& first = columns().front()->channel();
    auto cue = KLVPlaylistNode::create();
    cue->setPlnName(QStringLiteral("Opener"));
    cue->setPlnSourcePath(clip);
    first.channel()->setPlaylistItems({cue, KLVPlaylistNode::create()}); // and a stub
    first.table().reloadTablePreservingSelectionIfPossible();

    QStringList problems;
    const auto walk = [&](const char* step) {
        for (const QString& p : unwrittenTexts())
            if (!problems.contains(p))
                problems << QString::fromLatin1(step) + QStringLiteral(": ") + p;
    };
    walk("main window");

    for (KLVChannelColumn* column : columns()) {
        column->editChannelConfiguration();
        walk("configuration popover");
        column->configurationPopover()->hide();
        column->openJumpToTime();
        walk("jump to time");
        column->jumpToTimePopup()->hide();
        column->channel().overlay().showGraphicOverlayEditor();
        walk("overlay editor");
    }
    // Record mode, its settings and each refusal of Prepare.
    KLVChannelRecord& record = first.record();
    record.setOperationMode(1, true);
    first.operationModeDidChange(1);
    columns().front()->editChannelConfiguration();
    walk("record mode");
    columns().front()->configurationPopover()->hide();
    record.prepareRecordSession();
    record.setRecordingDirectory(home_.filePath(QStringLiteral("media")));
    record.prepareRecordSession();
    record.setRecordingFileName(QStringLiteral("a/b"));
    record.prepareRecordSession();
    record.setRecordingFileName(QStringLiteral("Take 1"));
    record.prepareRecordSession();
    record.setRecordingDuration(QStringLiteral("0:10"));
    record.prepareRecordSession();
    walk("record prepared");
    record.setOperationMode(0, true);
    first.operationModeDidChange(0);

    // A recording folder that cannot be written to (gone meanwhile; answered No: not asked again).
    picker_.openAnswers.push_back({home_.filePath(QStringLiteral("gone/folder"))});
    prompts_.answers = {1};
    record.setLocationOfRecordingFile();
    prompts_.answers.clear();
    // An import whose files could not be read, answered by the main loop.
    auto damaged = KLVPlaylistNode::create();
    damaged->setPlnSourcePath(home_.writeFile(QStringLiteral("media/Damaged.mov"), "x"));
    first.import().handleNodesWithBadCodec({damaged});
    clock_.advance(0);

    columns()[1]->channel().output().noOutputSelected();
    columns()[1]->configurationPopover()->hide();
    first.import().selectSmartFolder();
    KLVUtilities::selectFileInFinder({QUrl::fromLocalFile(home_.filePath(QStringLiteral("gone/Closer.mov")))});

    delegate_->showInspectorForPlaylistNode(cue, false);
    walk("cue inspector");

    delegate_->showAboutWindow();
    AboutWindowController& about = delegate_->aboutWindowController();
    about.setAnimationDuration(0);
    about.licenseAction();
    walk("licence agreement");
    about.acknowledgmentsAction();
    walk("acknowledgments");
    for (AcknowledgmentView* row : about.findChildren<AcknowledgmentView*>())
        row->viewLicense();
    walk("licence windows");

    delegate_->preferencesMenuAction();
    walk("control devices");
    auto& manager = delegate_->commModuleConnectionManager();
    const auto parsers = delegate_->commModuleController().availableParsers();
    ASSERT_TRUE(parsers.has_value());
    for (const QMProtocolParserClass* parser : *parsers) {
        QMCommModuleConnectionWrapper* device = manager.addDevice(*parser);
        ASSERT_NE(device, nullptr);
        delegate_->prefsController()->configureAction(device);
        walk("device sheet");
    }

    prompts_.answers = {1}; // Cancel
    EXPECT_FALSE(delegate_->quitApplication());

    EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
    const QStringList alerts = unwrittenAlerts(prompts_, picker_);
    EXPECT_TRUE(alerts.isEmpty()) << alerts.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(KLVLocalized::missingKeys().isEmpty()) << KLVLocalized::missingKeys().join(QLatin1Char(' ')).toStdString();

    // The refusals reached the operator, in words; the missing file keeps its name.
    QStringList messages;
    for (const KLVAlert& alert : prompts_.shown)
        messages << alert.messageText;
    EXPECT_TRUE(messages.contains(KLVLocalized::text("QM_SELECT_LOCATION")));
    EXPECT_TRUE(messages.contains(KLVLocalized::text("QM_NAME_INVALID")));
    EXPECT_TRUE(messages.contains(KLVLocalized::text("QM_NO_OUTPUT_DEVICE_SELECTED_CHANNEL")));
    EXPECT_TRUE(messages.contains(KLVLocalized::text("UNWRITABLE_PATH_ALERT")));
    EXPECT_TRUE(messages.contains(KLVLocalized::text("QM_FILE_IMPORT_FAILED")));
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(),
                            [](const QString& m) { return m.contains(QStringLiteral("Closer.mov")); }))
        << messages.join(QLatin1Char('\n')).toStdString();
    ASSERT_FALSE(picker_.opened.empty());
    EXPECT_EQ(picker_.opened.back().title, KLVLocalized::text("QM_SELECT_DIRECTORY_TITLE"));
}

// A control a screen reader meets: something to press, pick, type into or read a value from,
// and labels that show a glyph instead of words.
bool isControl(QWidget* w)
{
    if (qobject_cast<QScrollBar*>(w) || qobject_cast<QHeaderView*>(w))
        return false;
    // The parts of a spin box, combo box or table are named by their owner.
    QWidget* owner = w->parentWidget();
    if (qobject_cast<QAbstractSpinBox*>(owner) || qobject_cast<QComboBox*>(owner) || qobject_cast<QAbstractItemView*>(owner))
        return false;
    if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w)
        || qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QAbstractSlider*>(w) || qobject_cast<QProgressBar*>(w)
        || qobject_cast<QAbstractItemView*>(w) || qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w))
        return true;
    if (auto* label = qobject_cast<QLabel*>(w)) {
        const QString text = label->text();
        return !text.isEmpty() && std::none_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); });
    }
    // Custom controls (the position bar) and the preview frame.
    return w->inherits("QMProgressView") || w->objectName() == QLatin1String("previewFrame");
}

TEST_F(ScreenTextsTest, EveryControlOfAChannelColumnHasASpokenNameAndTheGlyphButtonsSayWhatTheyDo)
{
    ASSERT_FALSE(columns().empty());
    KLVChannelColumn* column = columns().front();
    QStringList problems;
    int controls = 0;
    QList<QWidget*> all = column->findChildren<QWidget*>(); // popovers and the record pane included
    for (QWidget* w : all) {
        if (!isControl(w))
            continue;
        ++controls;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        const QString name = a ? a->text(QAccessible::Name) : QString();
        const bool spoken = std::any_of(name.begin(), name.end(), [](QChar c) { return c.isLetter(); });
        if (!spoken || name.startsWith(QStringLiteral("QM_")))
            problems << describe(w) + QStringLiteral(": \"") + name + QLatin1Char('"');
    }
    EXPECT_GT(controls, 30);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();

    // The glyph buttons by what they do, with tooltips that say it too.
    QMap<QString, QString> glyphs;
    for (QAbstractButton* b : column->findChildren<QAbstractButton*>())
        glyphs.insert(b->text(), b->accessibleName() + QLatin1Char('|') + b->toolTip());
    EXPECT_EQ(glyphs.value(QStringLiteral("|<")), QStringLiteral("Go to start|Go to start"));
    EXPECT_EQ(glyphs.value(QStringLiteral("<")), QStringLiteral("Rewind|Step back one frame; hold while playing to rewind"));
    EXPECT_EQ(glyphs.value(QStringLiteral("||")), QStringLiteral("Pause|Pause"));
    EXPECT_EQ(glyphs.value(QStringLiteral(">")), QStringLiteral("Play|Play"));
    EXPECT_TRUE(glyphs.value(QStringLiteral(">|")).startsWith(QStringLiteral("Fast forward|Step forward one frame")));
    EXPECT_EQ(column->referenceIndicator()->accessibleName(), column->referenceIndicator()->toolTip());
    EXPECT_FALSE(column->progressBar()->toolTip().isEmpty());
}

} // namespace
