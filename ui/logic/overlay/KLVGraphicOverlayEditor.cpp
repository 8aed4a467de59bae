#include "ui/logic/overlay/KLVGraphicOverlayEditor.h"

#include "resources/strings/KLVLocalized.h"
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
        return KLVLocalized::text("QM_CHOOSE_OVERLAY");
    return QDir::cleanPath(imageURL_.toLocalFile());
}

bool KLVGraphicOverlayEditor::imagePositionXAction(const QString& text)
{
    return positionAction(text, false);
}

bool KLVGraphicOverlayEditor::imagePositionYAction(const QString& text)
{
    return positionAction(text, true);
}

bool KLVGraphicOverlayEditor::positionAction(const QString& text, bool vertical)
{
    double v = 0;
    const bool accepted = parseNumber(text, &v) &&
                          (vertical ? KLVOverlayGeometry::acceptsY(v, displayBounds_, outputSize_)
                                    : KLVOverlayGeometry::acceptsX(v, displayBounds_, outputSize_));
    if (!accepted) {
        changed(); // the field shows the current value again
        return false;
    }
    QRectF rect = displayBounds_;
    vertical ? rect.moveTop(v) : rect.moveLeft(v);
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
