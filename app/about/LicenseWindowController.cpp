#include "app/about/LicenseWindowController.h"

#include "app/about/WindowPlacement.h"
#include "platform/foundation/Log.h"

#include <QCloseEvent>
#include <QFile>
#include <QPlainTextEdit>
#include <QVBoxLayout>

LicenseWindowController::LicenseWindowController(LibraryAcknowledgments::Info info, QWidget* parent)
    : QWidget(parent, Qt::Window), info_(std::move(info))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    if (info_.license) {
        QFile file(*info_.license);
        if (file.open(QIODevice::ReadOnly))
            licenseText_ = QString::fromUtf8(file.readAll());
        else
            platform::log("com.quenmark.kalvanto", "about", platform::LogLevel::Error,
                          QStringLiteral("Error getting 3rd party license file %1").arg(file.errorString()));
    }
    auto* layout = new QVBoxLayout(this);
    textView_ = new QPlainTextEdit(this);
    textView_->setObjectName(QStringLiteral("licenseText"));
    textView_->setReadOnly(true);
    textView_->setPlainText(licenseText_);
    layout->addWidget(textView_);
    setWindowTitle(info_.title);
    resize(640, 560);
}

LicenseWindowController::~LicenseWindowController() = default;

void LicenseWindowController::open()
{
    WindowPlacement::openWindowAndCenterIfNeeded(*this, QString::fromLatin1(kAutosaveName), QRect());
    opened_ = true;
}

void LicenseWindowController::autosave()
{
    if (opened_ && isVisible())
        WindowPlacement::saveFrame(QString::fromLatin1(kAutosaveName), geometry());
}

void LicenseWindowController::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    autosave();
}

void LicenseWindowController::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    autosave();
}

void LicenseWindowController::closeEvent(QCloseEvent* event)
{
    autosave();
    QWidget::closeEvent(event);
    emit windowWillClose();
}
