#pragma once
// A window showing one component's licence text; it reopens at the frame it was last closed
// with ("3rdPartyLicenseWindow") and is titled with the component's title.

#include "app/about/LibraryAcknowledgment.h"

#include <QWidget>

class QPlainTextEdit;

class LicenseWindowController : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kAutosaveName = "3rdPartyLicenseWindow";

    explicit LicenseWindowController(LibraryAcknowledgments::Info info, QWidget* parent = nullptr);
    ~LicenseWindowController() override;

    const QString& licenseText() const { return licenseText_; }
    // Saved frame, or centred over the main window; then shown in front.
    void open();

signals:
    void windowWillClose();

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void autosave();

    LibraryAcknowledgments::Info info_;
    QString licenseText_;
    QPlainTextEdit* textView_;
    bool opened_ = false;
};
