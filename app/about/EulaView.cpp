#include "app/about/EulaView.h"

#include <QFile>
#include <QStringList>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

#include <utility>

namespace EULA {

QString text(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("no eula");
    const QByteArray bytes = file.readAll();
    if (file.error() != QFile::NoError)
        return QStringLiteral("no eula");
    return QString::fromUtf8(bytes);
}

QString reflowed(const QString& text)
{
    QStringList paragraphs;
    QString current;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString words = line.trimmed();
        if (words.isEmpty()) {
            if (!current.isEmpty())
                paragraphs << std::exchange(current, QString());
            continue;
        }
        current = current.isEmpty() ? words : current + QLatin1Char(' ') + words;
    }
    if (!current.isEmpty())
        paragraphs << current;
    return paragraphs.join(QStringLiteral("\n\n"));
}

View::View(QWidget* parent, const QString& path) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    textView_ = new QTextBrowser(this);
    textView_->setObjectName(QStringLiteral("eulaText"));
    textView_->setReadOnly(true);
    textView_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    textView_->setFrameShape(QFrame::NoFrame);
    textView_->viewport()->setAutoFillBackground(false);
    textView_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    textView_->setPlainText(reflowed(EULA::text(path)));
    textView_->document()->setDocumentMargin(12); // the frame is off: keep the text off the edges
    layout->addWidget(textView_);
}

QString View::shownText() const
{
    return textView_->toPlainText();
}

} // namespace EULA
