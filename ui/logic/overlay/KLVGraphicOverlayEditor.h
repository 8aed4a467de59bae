#pragma once
// The overlay editor window's state and actions, without widgets: the image, the output size,
// the overlay rectangle (y-up output pixels), the texts of its fields and the position checks.
// A changed rectangle goes to the delegate (the channel); the editor's own rectangle changes
// only when the channel's data come back to it. Main thread.

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QUrl>

#include <functional>

class KLVGraphicOverlayEditor;

class KLVGraphicOverlayEditorDelegate {
public:
    virtual ~KLVGraphicOverlayEditorDelegate() = default;
    virtual void graphicOverlayUpdateDisplayBounds(KLVGraphicOverlayEditor& editor, const QRectF& rect) = 0;
    virtual void chooseImage() = 0;
    virtual void removeImage() = 0;
};

class KLVGraphicOverlayEditor {
public:
    void setDelegate(KLVGraphicOverlayEditorDelegate* delegate) { delegate_ = delegate; }
    KLVGraphicOverlayEditorDelegate* delegate() const { return delegate_; }

    QUrl imageURL() const { return imageURL_; }
    void setImageURL(const QUrl& url);
    QString title() const { return title_; }
    void setTitle(const QString& title);
    QSizeF outputSize() const { return outputSize_; }
    void setOutputSize(const QSizeF& size);
    QRectF displayBounds() const { return displayBounds_; }
    void setDisplayBounds(const QRectF& rect);
    // Loaded afresh from the URL (a null image without one).
    QImage overlayImage() const;

    // --- field texts ---
    QString pathText() const;
    QString outputWidthText() const { return number(outputSize_.width()); }
    QString outputHeightText() const { return number(outputSize_.height()); }
    QString positionXText() const { return number(displayBounds_.x()); }
    QString positionYText() const { return number(displayBounds_.y()); }

    // --- actions ---
    // A typed position: true when taken; false when refused (the field shows the current value).
    bool imagePositionXAction(const QString& text);
    bool imagePositionYAction(const QString& text);
    void chooseButtonAction();
    void removeButtonAction();
    // From the placement view.
    void editorViewDidChangeOverlayBounds(const QRectF& rect) { setOverlayBounds(rect); }
    void setOverlayBounds(const QRectF& rect);

    // Told after every change of what the window shows.
    std::function<void()> onChange;

private:
    bool positionAction(const QString& text, bool vertical);
    static QString number(double v) { return QString::asprintf("%.0f", v); }
    void changed();

    KLVGraphicOverlayEditorDelegate* delegate_ = nullptr;
    QUrl imageURL_;
    QString title_;
    QSizeF outputSize_;
    QRectF displayBounds_;
};
