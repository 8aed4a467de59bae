#include "app/about/LicenseWindowController.h"

#include "app/about/WindowPlacement.h"
#include "platform/foundation/Log.h"

#include <QCloseEvent>
#include <QFile>
#include <QFontDatabase>
#include <QScrollBar>
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
    // Licence files come laid out in fixed columns: shown as written, never wrapped again.
    textView_->setLineWrapMode(QPlainTextEdit::NoWrap);
    textView_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    textView_->setPlainText(laidOut(licenseText_));
    layout->addWidget(textView_);
    setWindowTitle(info_.title);
    const int columns = textView_->fontMetrics().horizontalAdvance(QString(kColumns + 2, QLatin1Char('M')));
    resize(qMax(640, columns + 2 * textView_->frameWidth() + layout->contentsMargins().left()
                         + layout->contentsMargins().right() + textView_->verticalScrollBar()->sizeHint().width()),
           560);
}

LicenseWindowController::~LicenseWindowController() = default;

QString LicenseWindowController::laidOut(const QString& text)
{
    constexpr int kWrapAt = 80;
    QStringList lines;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString words = line.trimmed();
        if (line.size() <= kColumns || !words.contains(QLatin1Char(' '))) {
            lines << line; // a long path has nowhere to break
            continue;
        }
        const QString indent = line.left(line.indexOf(words.front()));
        QString current = indent;
        for (const QString& word : words.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (current.size() > indent.size() && current.size() + 1 + word.size() > kWrapAt) {
                lines << current;
                current = indent;
            }
            current += (current.size() > indent.size() ? QStringLiteral(" ") : QString()) + word;
        }
        lines << current;
    }
    return lines.join(QLatin1Char('\n'));
}

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
