#include "app/about/EulaView.h"

#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

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
    textView_->setPlainText(EULA::text(path));
    layout->addWidget(textView_);
}

QString View::shownText() const
{
    return textView_->toPlainText();
}

} // namespace EULA
