#pragma once
// The end-user licence agreement as read-only, selectable text (the resource ":/eula.txt" as
// UTF-8, or "no eula" when it is missing or unreadable).

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace EULA {

// The agreement's text from a resource or file path.
QString text(const QString& path = QStringLiteral(":/eula.txt"));
// The file's hard-wrapped lines joined into paragraphs (blank lines part them), so the view
// wraps the text once, at its own width.
QString reflowed(const QString& text);

class View : public QWidget {
public:
    explicit View(QWidget* parent = nullptr, const QString& path = QStringLiteral(":/eula.txt"));
    QString shownText() const;

private:
    QTextBrowser* textView_;
};

} // namespace EULA
