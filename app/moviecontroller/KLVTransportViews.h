#pragma once
// The views a movie controller keeps current: the progress bar (with in/out handles) and the
// elapsed and remaining time labels. The widgets layer implements them; tests record them.

#include <QColor>
#include <QString>

class QMProgressBar;

// Callbacks of the progress bar (scrubbing and handle drags), sent to the movie controller.
class QMProgressViewDelegate {
public:
    virtual ~QMProgressViewDelegate() = default;
    virtual void playFromSeek() = 0;
    virtual void updateInOutPoints(QMProgressBar& bar) = 0;
    virtual void pauseForSeek() = 0;
    // value: absolute seconds; optionHeld: the modifier that makes a master move its slaves.
    virtual void seek(double value, bool optionHeld) = 0;
};

class QMProgressBar {
public:
    virtual ~QMProgressBar() = default;
    virtual void setDelegate(QMProgressViewDelegate* delegate) = 0;
    virtual double maxValue() const = 0;
    virtual void setMaxValue(double v) = 0;
    virtual double inValue() const = 0;
    virtual void setInValue(double v) = 0;
    virtual double outValue() const = 0;
    virtual void setOutValue(double v) = 0;
    virtual double doubleValue() const = 0;
    virtual void setDoubleValue(double v) = 0;
};

class KLVTimeLabel {
public:
    virtual ~KLVTimeLabel() = default;
    virtual void setText(const QString& text) = 0;
    virtual void setTextColor(const QColor& color) = 0;
    // The time-code badge: whether the field shows source time code.
    virtual bool showTimeCode() const { return false; }
};
