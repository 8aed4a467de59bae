#pragma once
// The elapsed-time label of a channel: a click toggles between elapsed time and the source time
// code, and a small badge marks the source time code while it is shown. The movie controller
// follows showTimeCodeChanged.

#include "app/moviecontroller/KLVTransportViews.h"

#include <QLabel>

class KLVTimeCodeTextField final : public QLabel, public KLVTimeLabel {
    Q_OBJECT
public:
    explicit KLVTimeCodeTextField(QWidget* parent = nullptr);

    // --- KLVTimeLabel ---
    void setText(const QString& text) override { QLabel::setText(text); }
    // An invalid colour restores the standard label colour.
    void setTextColor(const QColor& color) override;
    bool showTimeCode() const override { return showTimeCode_; }

    void setShowTimeCode(bool show);
    // The loaded media carries source time code.
    bool hasTimeCode() const { return hasTimeCode_; }
    void setHasTimeCode(bool has);
    bool isMouseOver() const { return isMouseOver_; }
    QString badgeText() const { return badge_; }

signals:
    void showTimeCodeChanged(bool show);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void setMouseOver(bool over);

    QString badge_;
    bool hasTimeCode_ = false;
    bool showTimeCode_ = false;
    bool isMouseOver_ = false;
};
