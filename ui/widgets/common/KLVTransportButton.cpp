#include "ui/widgets/common/KLVTransportButton.h"

#include "platform/foundation/Log.h"

#include <QMouseEvent>

KLVTransportButton::KLVTransportButton(QWidget* parent)
    : QPushButton(parent)
{
    // The mouse is handled on press and release below and never reaches the button's own click
    // tracking, so clicked() comes only from the keyboard or the accessibility interface: that
    // press is a quick click.
    connect(this, &QAbstractButton::clicked, this, [this] {
        press();
        release();
    });
}

void KLVTransportButton::press()
{
    pressedWhilePlaying_ = isPlaying();
    if (pressedWhilePlaying_) {
        if (tag_ == 2)
            call(target_.rewind);
        else if (tag_ == 5)
            call(target_.fastForward);
    } else {
        call(target_.action);
    }
}

void KLVTransportButton::release()
{
    if (pressedWhilePlaying_) {
        platform::log("com.quenmark.Kalvanto", "transport", platform::LogLevel::Info,
                      QStringLiteral("MU action: fast"));
        call(target_.resumePlayRate);
    }
    pressedWhilePlaying_ = false;
}

bool KLVTransportButton::isPlaying() const
{
    return target_.isPlaying ? target_.isPlaying() : isPlaying_;
}

void KLVTransportButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QPushButton::mousePressEvent(event);
        return;
    }
    press();
    setDown(true);
    update();
    event->accept();
}

void KLVTransportButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !isDown()) {
        QPushButton::mouseReleaseEvent(event);
        return;
    }
    release();
    setDown(false);
    update();
    event->accept();
}
