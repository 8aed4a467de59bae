#pragma once
// The cue inspector's window: the cue's picture (a render view on the inspector's private output),
// the transport bar with in and out handles, the in and out fields, transport buttons and keys
// (Space, Left/Right, with Shift), over KLVCueInspectorController. Closing the window ends the
// inspection.

#include <QLineEdit>
#include <QWidget>

#include "app/moviecontroller/KLVTransportViews.h"

#include <memory>

class KLVCueInspectorController;
class KLVPlaylistNode;
class QMProgressView;
class RenderView;

// An in or out field: shows the controller's time unless the operator is typing in it.
class KLVInspectorTimeField final : public QLineEdit, public KLVTimeLabel {
public:
    using QLineEdit::QLineEdit;
    void setText(const QString& text) override
    {
        if (!hasFocus())
            QLineEdit::setText(text);
    }
    void setTextColor(const QColor& color) override;
};

class KLVCueInspectorWindow final : public QWidget {
    Q_OBJECT
public:
    // withPicture: make the render view (needs OpenGL); off for windowless tests.
    explicit KLVCueInspectorWindow(KLVCueInspectorController& controller, bool withPicture = true,
                                   QWidget* parent = nullptr);
    ~KLVCueInspectorWindow() override;

    // Opens the window on a cue (the application delegate's showInspectorForPlaylistNode).
    void inspectCue(const std::shared_ptr<KLVPlaylistNode>& node, bool withSlateScreen);

    QMProgressView* progressView() const { return progress_; }
    KLVInspectorTimeField* inField() const { return in_; }
    KLVInspectorTimeField* outField() const { return out_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void typed(bool outField);

    KLVCueInspectorController& controller_;
    QMProgressView* progress_ = nullptr;
    KLVInspectorTimeField* in_ = nullptr;
    KLVInspectorTimeField* out_ = nullptr;
    RenderView* renderView_ = nullptr;
    QWidget* renderContainer_ = nullptr;
};
