#include "ui/widgets/common/KLVTimeCodeTextField.h"

#include "app/util/KLVUtilities.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
const QColor kSystemOrange(255, 149, 0);
}

KLVTimeCodeTextField::KLVTimeCodeTextField(QWidget* parent)
    : QLabel(parent)
    , badge_(KLVUtilities::localized("QM_TIMECODE_ABBREV", "TC"))
{
    setAttribute(Qt::WA_Hover, true);
}

void KLVTimeCodeTextField::setTextColor(const QColor& color)
{
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color.isValid() ? color : QPalette().color(QPalette::WindowText));
    setPalette(pal);
}

void KLVTimeCodeTextField::setShowTimeCode(bool show)
{
    if (show == showTimeCode_)
        return;
    showTimeCode_ = show;
    update();
    emit showTimeCodeChanged(show);
}

void KLVTimeCodeTextField::setHasTimeCode(bool has)
{
    if (has == hasTimeCode_)
        return;
    hasTimeCode_ = has;
    update();
}

void KLVTimeCodeTextField::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    const bool badgeShown = showTimeCode_ && hasTimeCode_;
    QPainter p(this);
    if (badgeShown) {
        QFont font = this->font();
        font.setPointSizeF(8);
        p.setFont(font);
        p.setPen(kSystemOrange);
        const QRectF r(3, height() / 2.0 - 5, width() - 3, 10);
        p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, badge_);
    }
    if (isMouseOver_) {
        p.setPen(QPen(badgeShown ? kSystemOrange : QColor(Qt::lightGray), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5));
    }
}

void KLVTimeCodeTextField::setMouseOver(bool over)
{
    if (over == isMouseOver_)
        return;
    isMouseOver_ = over;
    update();
}

void KLVTimeCodeTextField::enterEvent(QEnterEvent* event)
{
    setMouseOver(true);
    QLabel::enterEvent(event);
}

void KLVTimeCodeTextField::leaveEvent(QEvent* event)
{
    setMouseOver(false);
    QLabel::leaveEvent(event);
}

void KLVTimeCodeTextField::mousePressEvent(QMouseEvent* event)
{
    // A click switches what the field shows; the field is never edited.
    if (event->button() == Qt::LeftButton) {
        setShowTimeCode(!showTimeCode_);
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}
