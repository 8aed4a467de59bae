#pragma once
// The shared preview strip: one OpenGL view (head index -1) behind the channel columns' preview
// frames, drawn on its own display link: each refresh, under the view's lock with its context
// current, the draw callback (the delegate's drawPreview: black, then every channel's preview in
// column order) runs and the buffer is flushed. GUI thread, except the drawing.

#include <QWidget>

#include <functional>
#include <memory>

class KLVDisplayLink;
class RenderView;

class KLVPreviewStrip : public QWidget {
public:
    explicit KLVPreviewStrip(std::function<void()> draw, QWidget* parent = nullptr);
    ~KLVPreviewStrip() override;

    RenderView& view() const { return *view_; }
    // The display link on the first screen's refresh rate (initPreviewThread).
    void startDisplayLink();
    void stopDisplayLink();
    bool isDrawing() const;
    int64_t framesDrawn() const;

private:
    std::function<void()> draw_;
    RenderView* view_;
    std::unique_ptr<KLVDisplayLink> link_;
};
