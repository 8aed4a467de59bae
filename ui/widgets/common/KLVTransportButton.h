#pragma once
// A transport button that acts on press. While its target plays, holding the step-back (tag 2)
// or step-forward (tag 5) button runs rewind or fast forward until release, when the normal rate
// resumes; while stopped, a press sends the button's own action. Pressed from the keyboard or
// through the accessibility interface, it acts as a quick mouse click.

#include <QPushButton>

#include <functional>

class KLVTransportButton final : public QPushButton {
    Q_OBJECT
public:
    // What the button drives: the channel controller or a movie controller.
    struct Target {
        std::function<bool()> isPlaying; // empty: the button's own isPlaying flag
        std::function<void()> rewind;
        std::function<void()> fastForward;
        std::function<void()> resumePlayRate;
        std::function<void()> action; // the button's own action
    };

    explicit KLVTransportButton(QWidget* parent = nullptr);

    void setTarget(Target target) { target_ = std::move(target); }
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    bool isPlaying() const;
    void setIsPlaying(bool playing) { isPlaying_ = playing; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void press();
    void release();
    static void call(const std::function<void()>& fn)
    {
        if (fn)
            fn();
    }

    Target target_;
    int tag_ = 0;
    bool isPlaying_ = false;
    // The press's playing state decides what the release does.
    bool pressedWhilePlaying_ = false;
};
