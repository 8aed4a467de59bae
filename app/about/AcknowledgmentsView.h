#pragma once
// The list of open-source components: one row per component (title, author, description, and
// buttons for its web page and its licence text) in a scroll area that starts at the top.

#include "app/about/LibraryAcknowledgment.h"

#include <QPointer>
#include <QWidget>

class LicenseWindowController;
class QLabel;
class QPushButton;
class QScrollArea;

// One component's row.
class AcknowledgmentView : public QWidget {
    Q_OBJECT
public:
    explicit AcknowledgmentView(LibraryAcknowledgments::Info info, QWidget* parent = nullptr);

    const LibraryAcknowledgments::Info& info() const { return info_; }
    QPushButton* websiteButton() const { return websiteButton_; }
    QPushButton* licenseButton() const { return licenseButton_; }
    LicenseWindowController* licenseWindowController() const { return licenseWindowController_; }

    // Opens the web page with the system's handler (nothing without one).
    void clickAction();
    void viewLicense();

private:
    LibraryAcknowledgments::Info info_;
    QPushButton* websiteButton_;
    QPushButton* licenseButton_;
    QPointer<LicenseWindowController> licenseWindowController_;
};

class AcknowledgmentsViewController : public QWidget {
    Q_OBJECT
public:
    explicit AcknowledgmentsViewController(QWidget* parent = nullptr);

    const std::vector<AcknowledgmentView*>& rows() const { return rows_; }
    QScrollArea* scrollView() const { return scrollView_; }

protected:
    // The list starts at its top each time it is shown.
    void showEvent(QShowEvent* event) override;

private:
    QScrollArea* scrollView_;
    std::vector<AcknowledgmentView*> rows_;
};
