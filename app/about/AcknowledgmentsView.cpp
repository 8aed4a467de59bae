#include "app/about/AcknowledgmentsView.h"

#include "app/about/LicenseWindowController.h"

#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

// Borderless until the mouse is over it.
class HoverButton final : public QPushButton {
public:
    HoverButton(const QString& text, QWidget* parent) : QPushButton(text, parent) { setFlat(true); }

protected:
    void enterEvent(QEnterEvent* event) override
    {
        setFlat(false);
        QPushButton::enterEvent(event);
    }
    void leaveEvent(QEvent* event) override
    {
        setFlat(true);
        QPushButton::leaveEvent(event);
    }
};

QLabel* label(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setTextInteractionFlags(Qt::NoTextInteraction);
    return l;
}

} // namespace

AcknowledgmentView::AcknowledgmentView(LibraryAcknowledgments::Info info, QWidget* parent)
    : QWidget(parent), info_(std::move(info))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 6, 12, 6);
    auto* top = new QHBoxLayout;
    auto* title = label(info_.title, this);
    title->setObjectName(QStringLiteral("titleLabel"));
    QFont bold = title->font();
    bold.setWeight(QFont::DemiBold);
    title->setFont(bold);
    // The author goes on a line of its own and wraps: long lists of names must not push the
    // row wider than the window (the list scrolls only up and down).
    auto* author = label(info_.author, this);
    author->setObjectName(QStringLiteral("authorLabel"));
    author->setWordWrap(true);
    QFont light = author->font();
    light.setWeight(QFont::Light);
    author->setFont(light);
    top->addWidget(title);
    top->addStretch(1);
    websiteButton_ = new HoverButton(tr("Website"), this);
    licenseButton_ = new HoverButton(tr("License"), this);
    websiteButton_->setEnabled(info_.url.has_value());
    licenseButton_->setEnabled(info_.license.has_value());
    top->addWidget(websiteButton_);
    top->addWidget(licenseButton_);
    layout->addLayout(top);
    layout->addWidget(author);
    auto* details = label(info_.description, this);
    details->setObjectName(QStringLiteral("detailsLabel"));
    details->setWordWrap(true);
    details->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(details);
    connect(websiteButton_, &QPushButton::clicked, this, &AcknowledgmentView::clickAction);
    connect(licenseButton_, &QPushButton::clicked, this, &AcknowledgmentView::viewLicense);
}

void AcknowledgmentView::clickAction()
{
    if (info_.url)
        QDesktopServices::openUrl(*info_.url);
}

void AcknowledgmentView::viewLicense()
{
    delete licenseWindowController_.data();
    licenseWindowController_ = new LicenseWindowController(info_, window());
    connect(licenseWindowController_, &LicenseWindowController::windowWillClose, this, [this] {
        // Closing the window lets its controller go.
        if (licenseWindowController_)
            licenseWindowController_->deleteLater();
        licenseWindowController_ = nullptr;
    });
    licenseWindowController_->open();
}

AcknowledgmentsViewController::AcknowledgmentsViewController(QWidget* parent) : QWidget(parent)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    scrollView_ = new QScrollArea(this);
    scrollView_->setWidgetResizable(true);
    scrollView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* list = new QWidget;
    auto* stack = new QVBoxLayout(list);
    stack->setSpacing(3);
    for (LibraryAcknowledgment library : LibraryAcknowledgments::allCases()) {
        auto* row = new AcknowledgmentView(LibraryAcknowledgments::info(library), list);
        stack->addWidget(row);
        rows_.push_back(row);
    }
    stack->addStretch(1);
    scrollView_->setWidget(list);
    outer->addWidget(scrollView_);
}

void AcknowledgmentsViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    scrollView_->verticalScrollBar()->setValue(0);
}
