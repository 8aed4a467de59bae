#include "shell/KLVMainWindow.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLayout>
#include <QMenuBar>
#include <QResizeEvent>
#include <QScreen>
#include <QUndoStack>

#include <algorithm>

KLVMainWindow::KLVMainWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("KLVMainWindow"));
    container_ = new QWidget(this);
    setCentralWidget(container_);
    buildMenus();
}

void KLVMainWindow::buildMenus()
{
    QMenu* app = menuBar()->addMenu(tr("&Kalvanto"));
    aboutAction = app->addAction(tr("About Kalvanto"));
    aboutAction->setMenuRole(QAction::AboutRole);
    app->addSeparator();
    preferencesAction = app->addAction(tr("Control Devices…"));
    preferencesAction->setShortcut(QKeySequence::Preferences);
    preferencesAction->setMenuRole(QAction::PreferencesRole);
    app->addSeparator();
    quitAction = app->addAction(tr("Quit Kalvanto"));
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitAction->setMenuRole(QAction::QuitRole);
    // Quitting is the program's, not this window's: the key works in the devices window too.
    quitAction->setShortcutContext(Qt::ApplicationShortcut);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    newAction = file->addAction(tr("New Playlist File…"));
    newAction->setShortcut(QKeySequence::New);
    openAction = file->addAction(tr("Open Playlist File…"));
    openAction->setShortcut(QKeySequence::Open);
    file->addSeparator();
    saveAction = file->addAction(tr("Save"));
    saveAction->setShortcut(QKeySequence::Save);

    editMenu = menuBar()->addMenu(tr("&Edit"));

    QMenu* outputs = menuBar()->addMenu(tr("&Outputs"));
    outputsAction = outputs->addAction(tr("Show Output Windows"));
    outputsAction->setCheckable(true);
    outputsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    quadTestAction = outputs->addAction(tr("Quad Test Mode"));
    quadTestAction->setCheckable(true);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    manualAction = help->addAction(tr("Kalvanto Manual"));
    updatesAction = help->addAction(tr("Check for Updates…"));
}

void KLVMainWindow::setUndoStack(QUndoStack* stack)
{
    if (undoAction || !stack)
        return;
    undoAction = stack->createUndoAction(this, tr("Undo"));
    redoAction = stack->createRedoAction(this, tr("Redo"));
    undoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redoAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    // The inspector's range edits are steps too: the keys work in every window of the program
    // (a text field still takes them for its own text first).
    undoAction->setShortcutContext(Qt::ApplicationShortcut);
    redoAction->setShortcutContext(Qt::ApplicationShortcut);
    undoAction->setObjectName(QStringLiteral("undoAction"));
    redoAction->setObjectName(QStringLiteral("redoAction"));
    editMenu->addAction(undoAction);
    editMenu->addAction(redoAction);
}

void KLVMainWindow::setColumns(const std::vector<Column>& columns)
{
    columns_ = columns;
    if (columns_.empty())
        return;
    // A column's natural width, narrowed so that up to four fit on the screen side by side (their
    // controls share what there is rather than push columns off the screen).
    QWidget* first = columns_.front().view;
    int natural = first->sizeHint().width();
    if (const QScreen* s = screen()) {
        const int perColumn = s->availableGeometry().width() / std::min<int>(4, int(columns_.size()));
        natural = std::min(natural, perColumn);
        for (const Column& column : columns_)
            column.view->setMinimumWidth(std::min(column.view->minimumSizeHint().width(), natural));
    }
    // The content's size as the window will show it (the menu bar taken off).
    if (QLayout* windowLayout = layout())
        windowLayout->activate();
    const QSize content = container_->size();
    const KLVChannelLayout::Columns layout = KLVChannelLayout::layoutColumns(int(columns_.size()), natural, content);
    if (layout.resizeWindow) {
        resize(size() - content + layout.container);
        if (QLayout* windowLayout = this->layout())
            windowLayout->activate();
    }
    container_->resize(layout.container);
    for (size_t i = 0; i < columns_.size(); ++i) {
        QWidget* view = columns_[i].view;
        view->setParent(container_);
        view->setGeometry(layout.columns[i]);
        view->show();
    }
    // Wider than the screen: as wide as the screen, centred on it.
    if (QScreen* s = screen(); s && width() > s->availableGeometry().width()) {
        const QRect available = s->availableGeometry();
        resize(available.width(), height());
        move(available.x(), available.y() + (available.height() - height()) / 2);
    }
    placePreview();
}

QRect KLVMainWindow::inContainer(QWidget* widget) const
{
    if (!widget)
        return {};
    return QRect(widget->mapTo(container_, QPoint(0, 0)), widget->size());
}

void KLVMainWindow::setPreview(QWidget* preview)
{
    if (!preview_ && preview) {
        preview_ = preview;
        preview_->setParent(container_);
        preview_->show();
    }
    placePreview();
}

void KLVMainWindow::placePreview()
{
    if (columns_.empty() || !columns_.front().previewFrame) {
        placement_ = KLVChannelLayout::previewPlacement();
    } else {
        QWidget* frame = columns_.front().previewFrame;
        QWidget* parent = frame->parentWidget();
        placement_ = KLVChannelLayout::previewPlacement(inContainer(frame), parent ? parent->width() : -1);
    }
    if (preview_) {
        preview_->setGeometry(placement_.leading, placement_.top,
                              container_->width() - placement_.leading - placement_.trailing, placement_.height);
        preview_->raise();
    }
    updatePreviewSpacerViews();
}

void KLVMainWindow::updatePreviewSpacerViews()
{
    for (QFrame* spacer : spacers_)
        delete spacer;
    spacers_.clear();
    if (columns_.size() < 2 || !preview_)
        return;
    std::vector<QRect> frames;
    for (const Column& column : columns_)
        frames.push_back(inContainer(column.previewFrame ? column.previewFrame : column.view));
    for (const QRect& rect : KLVChannelLayout::spacerRects(frames)) {
        auto* spacer = new QFrame(container_);
        spacer->setObjectName(QStringLiteral("previewSpacer"));
        spacer->setFrameShape(QFrame::NoFrame);
        spacer->setAutoFillBackground(true);
        spacer->setBackgroundRole(QPalette::Window);
        // The strip is a native GL window: only a native sibling can stack above it.
        spacer->setAttribute(Qt::WA_NativeWindow);
        spacer->setGeometry(rect);
        spacer->show();
        spacer->raise(); // just above the strip
        spacers_.push_back(spacer);
    }
}

void KLVMainWindow::relayoutChannels(int previousCount)
{
    std::vector<QRect> rects;
    for (const Column& column : columns_)
        rects.push_back(column.view->geometry());
    const KLVChannelLayout::Relayout layout = KLVChannelLayout::relayoutColumns(rects, previousCount);
    for (size_t i = 0; i < columns_.size(); ++i)
        columns_[i].view->setGeometry(layout.columns[i]);
    if (layout.widthChange != 0)
        resize(width() + layout.widthChange, height());
    if (QScreen* s = screen(); s && width() > s->availableGeometry().width())
        resize(s->availableGeometry().width(), height());
    placePreview();
    if (!isVisible()) {
        show();
        activateWindow();
    }
}

void KLVMainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    placePreview();
}
