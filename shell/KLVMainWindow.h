#pragma once
// The main window: one column per channel side by side, the shared preview strip over the
// columns' preview frames with a spacer box between neighbouring frames (so the strip shows only
// inside each frame), and the menus. The delegate fills it; the window only lays out and
// forwards menu commands.

#include "shell/KLVChannelLayout.h"

#include <QAction>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <vector>

class QFrame;
class QMenu;
class QUndoStack;

class KLVMainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit KLVMainWindow(QWidget* parent = nullptr);

    // One channel column: its view and, inside it, the frame its preview is drawn in.
    struct Column {
        QWidget* view = nullptr;
        QWidget* previewFrame = nullptr;
    };
    // Lays the columns out in the content (the window grows to the container when they do not
    // fill it) and makes them the window's content. The views become the container's children.
    void setColumns(const std::vector<Column>& columns);
    const std::vector<Column>& columns() const { return columns_; }
    QWidget* container() const { return container_; }

    // The preview strip over the columns' preview frames (built once; later calls only
    // re-place it and rebuild the spacers).
    void setPreview(QWidget* preview);
    QWidget* preview() const { return preview_; }
    void updatePreviewSpacerViews();
    const std::vector<QFrame*>& previewSpacerViews() const { return spacers_; }
    KLVChannelLayout::PreviewPlacement previewPlacement() const { return placement_; }

    // After a screen change: the columns side by side at the last column's size.
    void relayoutChannels(int previousCount);

    // Edit ▸ Undo and Redo follow this stack: named after the step they would take back or do
    // again, enabled only when there is one. Made once; the stack outlives the window.
    void setUndoStack(QUndoStack* stack);

    // Menu commands.
    QAction* aboutAction = nullptr;
    QAction* preferencesAction = nullptr;
    QAction* quitAction = nullptr;
    QAction* newAction = nullptr;
    QAction* openAction = nullptr;
    QAction* saveAction = nullptr;
    QAction* outputsAction = nullptr;
    QAction* quadTestAction = nullptr;
    QAction* manualAction = nullptr;
    QAction* updatesAction = nullptr;
    QAction* undoAction = nullptr;
    QAction* redoAction = nullptr;
    QMenu* editMenu = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildMenus();
    void placePreview();
    QRect inContainer(QWidget* widget) const;

    QWidget* container_ = nullptr;
    std::vector<Column> columns_;
    QPointer<QWidget> preview_;
    std::vector<QFrame*> spacers_;
    KLVChannelLayout::PreviewPlacement placement_;
};
