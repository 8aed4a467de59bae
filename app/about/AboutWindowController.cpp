#include "app/about/AboutWindowController.h"

#include "app/about/AcknowledgmentsView.h"
#include "app/about/LicenseWindowController.h"
#include "app/about/EulaView.h"
#include "app/about/WindowPlacement.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <QWindow>

namespace {

// The icon: dragging it moves the window.
class DraggableImageView final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && window()->windowHandle())
            window()->windowHandle()->startSystemMove();
        QLabel::mousePressEvent(event);
    }
};

QLabel* thinLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setWeight(QFont::Thin);
    label->setFont(font);
    return label;
}

} // namespace

AboutWindowController::AboutWindowController(QWidget* mainWindow)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), mainWindow_(mainWindow)
{
    setObjectName(QStringLiteral("AboutWindow"));
    setWindowTitle(tr("About Kalvanto"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(20, 20, 20, 20);
    header->setSpacing(20);
    auto* icon = new DraggableImageView(this);
    icon->setObjectName(QStringLiteral("iconImageView"));
    QIcon appIcon = QApplication::windowIcon();
    if (appIcon.isNull())
        appIcon = style()->standardIcon(QStyle::SP_MediaPlay);
    icon->setPixmap(appIcon.pixmap(96, 96));
    header->addWidget(icon, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    auto* name = new QLabel(QStringLiteral("Kalvanto"), this);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setWeight(QFont::DemiBold);
    name->setFont(big);
    versionLabel_ = thinLabel(versionLine(QCoreApplication::applicationVersion(), QStringLiteral(KLV_BUILD_VERSION)), this);
    auto* copyright = thinLabel(tr("Copyright © 2026 Quenmark. All rights reserved."), this);
    copyright->setForegroundRole(QPalette::PlaceholderText);
    texts->addWidget(name);
    texts->addWidget(versionLabel_);
    texts->addWidget(copyright);
    auto* buttons = new QHBoxLayout;
    licenseButton_ = new QPushButton(tr("License Agreement"), this);
    acknowledgmentsButton_ = new QPushButton(tr("Acknowledgments"), this);
    for (QPushButton* b : {licenseButton_, acknowledgmentsButton_}) {
        b->setCheckable(true);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    texts->addLayout(buttons);
    header->addLayout(texts, 1);
    outer->addLayout(header);

    container_ = new QWidget(this);
    container_->setObjectName(QStringLiteral("additionalContentContainer"));
    auto* containerLayout = new QVBoxLayout(container_);
    containerLayout->setContentsMargins(0, 0, 0, 0);
    container_->setFixedHeight(0);
    outer->addWidget(container_);
    setFixedWidth(560);

    connect(licenseButton_, &QPushButton::clicked, this, &AboutWindowController::licenseAction);
    connect(acknowledgmentsButton_, &QPushButton::clicked, this, &AboutWindowController::acknowledgmentsAction);
}

AboutWindowController::~AboutWindowController()
{
    // A folded-in view has no parent to take it along.
    if (licenseView_ && !licenseView_->parent())
        delete licenseView_;
    if (acknowledgmentsView_ && !acknowledgmentsView_->parent())
        delete acknowledgmentsView_;
}

QString AboutWindowController::versionLine(const QString& shortVersion, const QString& bundleVersion)
{
    if (shortVersion.isEmpty() || bundleVersion.isEmpty())
        return QStringLiteral("Version %1").arg(shortVersion.isEmpty() ? bundleVersion : shortVersion);
    return QStringLiteral("Version %1 (%2)").arg(shortVersion, bundleVersion);
}

void AboutWindowController::showWindow()
{
    if (!placed_) {
        WindowPlacement::centerWeightedOverMainWindow(*this);
        placed_ = true;
    }
    show();
    raise();
    activateWindow();
}

void AboutWindowController::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void AboutWindowController::licenseAction()
{
    if (!licenseView_)
        licenseView_ = new EULA::View;
    toggle(licenseView_, licenseButton_, acknowledgmentsButton_);
}

void AboutWindowController::acknowledgmentsAction()
{
    if (!acknowledgmentsView_)
        acknowledgmentsView_ = new AcknowledgmentsViewController;
    toggle(acknowledgmentsView_, acknowledgmentsButton_, licenseButton_);
}

void AboutWindowController::toggle(QWidget* content, QPushButton* pressed, QPushButton* other)
{
    other->setChecked(false);
    if (shown_ == content && targetHeight_ > 0) {
        pressed->setChecked(false);
        animateTo(0);
        return;
    }
    if (shown_ && shown_ != content) {
        container_->layout()->removeWidget(shown_);
        shown_->hide();
        shown_->setParent(nullptr);
    }
    if (shown_ != content) {
        content->setParent(container_);
        container_->layout()->addWidget(content);
        content->show();
        shown_ = content;
    }
    pressed->setChecked(true);
    if (targetHeight_ != kFoldedOutHeight)
        animateTo(kFoldedOutHeight);
}

void AboutWindowController::animateTo(int height)
{
    targetHeight_ = height;
    if (animation_) {
        animation_->stop();
        animation_->deleteLater();
    }
    animation_ = new QVariantAnimation(this);
    animation_->setStartValue(container_->height());
    animation_->setEndValue(height);
    animation_->setDuration(animationMs_);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        container_->setFixedHeight(value.toInt());
        adjustSize();
    });
    QVariantAnimation* animation = animation_;
    connect(animation_, &QVariantAnimation::finished, this, [this, animation, height] {
        container_->setFixedHeight(height);
        if (height == 0 && animation == animation_ && shown_) {
            // Folded in: the content leaves the container.
            container_->layout()->removeWidget(shown_);
            shown_->hide();
            shown_->setParent(nullptr);
            shown_ = nullptr;
        }
        adjustSize();
    });
    animation_->start();
}
