#pragma once
// The overlay editor window: the image's path with Choose and Remove, the output size, the
// overlay's X and Y fields and the placement view, over the editor's state
// (KLVGraphicOverlayEditor). install() lets a channel show its editor in one of these.

#include <QWidget>

class KLVChannelController;
class KLVGraphicOverlayEditor;
class KLVGraphicOverlayEditorView;
class QLabel;
class QLineEdit;
class QPushButton;

class KLVGraphicOverlayWindow final : public QWidget {
    Q_OBJECT
public:
    explicit KLVGraphicOverlayWindow(KLVGraphicOverlayEditor& editor, QWidget* parent = nullptr);
    ~KLVGraphicOverlayWindow() override;

    // The channel's editor opens in a window made on first use, living as long as the channel.
    static void install(KLVChannelController& channel);

    KLVGraphicOverlayEditorView* editorView() const { return view_; }
    QLineEdit* positionXField() const { return x_; }
    QLineEdit* positionYField() const { return y_; }
    // Shows the window, raised and active.
    void showWindow();
    void updateUI();

private:
    KLVGraphicOverlayEditor& editor_;
    QPushButton* choose_ = nullptr;
    QPushButton* remove_ = nullptr;
    QLabel* path_ = nullptr;
    QLabel* outputWidth_ = nullptr;
    QLabel* outputHeight_ = nullptr;
    QLineEdit* x_ = nullptr;
    QLineEdit* y_ = nullptr;
    KLVGraphicOverlayEditorView* view_ = nullptr;
};
