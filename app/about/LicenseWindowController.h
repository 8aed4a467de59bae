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
    // Licence files are laid out in columns and shown as written, unwrapped; only a paragraph
    // written as one line wider than the window is broken at its words, keeping its indent.
    static constexpr int kColumns = 100;
    static QString laidOut(const QString& text);
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
    QString licenseText_; // as the file holds it
    QPlainTextEdit* textView_;
    bool opened_ = false;
};
