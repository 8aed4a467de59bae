#include "ui/logic/overlay/KLVGraphicOverlayEditor.h"

#include "ui/logic/overlay/KLVOverlayGeometry.h"

#include <QCoreApplication>
#include <QDir>

namespace {

bool parseNumber(const QString& text, double* value)
{
    bool ok = false;
    *value = text.trimmed().toDouble(&ok);
    return ok;
}

} // namespace

void KLVGraphicOverlayEditor::setImageURL(const QUrl& url)
{
    imageURL_ = url;
    changed();
}

void KLVGraphicOverlayEditor::setTitle(const QString& title)
{
    title_ = title;
    changed();
}

void KLVGraphicOverlayEditor::setOutputSize(const QSizeF& size)
{
    outputSize_ = size;
    changed();
}

void KLVGraphicOverlayEditor::setDisplayBounds(const QRectF& rect)
{
    displayBounds_ = rect;
    changed();
}

QImage KLVGraphicOverlayEditor::overlayImage() const
{
    return imageURL_.isEmpty() ? QImage() : QImage(imageURL_.toLocalFile());
}

QString KLVGraphicOverlayEditor::pathText() const
{
    if (imageURL_.isEmpty())
        return QCoreApplication::translate("Localizable", "QM_CHOOSE_OVERLAY");
    return QDir::cleanPath(imageURL_.toLocalFile());
}

bool KLVGraphicOverlayEditor::imagePositionXAction(const QString& text)
{
    double x = 0;
    if (!parseNumber(text, &x) || !KLVOverlayGeometry::acceptsX(x, displayBounds_, outputSize_)) {
        changed(); // the field shows the current value again
        return false;
    }
    QRectF rect = displayBounds_;
    rect.moveLeft(x);
    setOverlayBounds(rect);
    return true;
}

bool KLVGraphicOverlayEditor::imagePositionYAction(const QString& text)
{
    double y = 0;
    if (!parseNumber(text, &y) || !KLVOverlayGeometry::acceptsY(y, displayBounds_, outputSize_)) {
        changed();
        return false;
    }
    QRectF rect = displayBounds_;
    rect.moveTop(y);
    setOverlayBounds(rect);
    return true;
}

void KLVGraphicOverlayEditor::chooseButtonAction()
{
    if (delegate_)
        delegate_->chooseImage();
}

void KLVGraphicOverlayEditor::removeButtonAction()
{
    if (delegate_)
        delegate_->removeImage();
}

void KLVGraphicOverlayEditor::setOverlayBounds(const QRectF& rect)
{
    if (delegate_)
        delegate_->graphicOverlayUpdateDisplayBounds(*this, rect);
}

void KLVGraphicOverlayEditor::changed()
{
    if (onChange)
        onChange();
}
