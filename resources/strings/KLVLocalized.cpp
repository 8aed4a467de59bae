#include "resources/strings/KLVLocalized.h"

#include "platform/foundation/Log.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTranslator>

#include <mutex>

namespace {

const char* const kContext = "Localizable";

const QHash<QString, QString>& builtInTexts()
{
    static const QHash<QString, QString> texts = [] {
        QHash<QString, QString> t;
        QFile file(QStringLiteral(":/Localizable.json"));
        if (!file.open(QIODevice::ReadOnly))
            return t;
        const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
        for (auto it = object.begin(); it != object.end(); ++it)
            t.insert(it.key(), it.value().toString());
        return t;
    }();
    return texts;
}

class StringTable final : public QTranslator {
public:
    bool isEmpty() const override { return builtInTexts().isEmpty(); }
    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (qstrcmp(context, kContext) != 0 || !sourceText)
            return {};
        return builtInTexts().value(QString::fromUtf8(sourceText));
    }
};

struct Missing {
    std::mutex lock;
    QSet<QString> keys;
};

Missing& missing()
{
    static Missing m;
    return m;
}

void noteMissing(const QString& key)
{
    {
        Missing& m = missing();
        std::lock_guard guard(m.lock);
        if (m.keys.contains(key))
            return;
        m.keys.insert(key);
    }
    platform::log("com.quenmark.kalvanto", "strings", platform::LogLevel::Error,
                  QStringLiteral("no text for the key %1").arg(key));
}

} // namespace

namespace KLVLocalized {

void install()
{
    static StringTable* table = nullptr;
    if (table || !QCoreApplication::instance())
        return;
    table = new StringTable;
    table->setParent(QCoreApplication::instance());
    QCoreApplication::installTranslator(table);
}

QString text(const char* key)
{
    if (!key)
        return {};
    const QString asked = QString::fromUtf8(key);
    const QString translated = QCoreApplication::translate(kContext, key);
    if (translated != asked)
        return translated;
    const auto it = builtInTexts().constFind(asked);
    if (it != builtInTexts().constEnd())
        return *it;
    noteMissing(asked);
    return asked;
}

QString text(const char* key, const QStringList& arguments)
{
    return fillArguments(text(key), arguments);
}

QString fillArguments(QString text, const QStringList& arguments)
{
    if (text.contains(QLatin1String("%@"))) {
        qsizetype from = 0;
        for (const QString& argument : arguments) {
            const qsizetype at = text.indexOf(QLatin1String("%@"), from);
            if (at < 0)
                break;
            text.replace(at, 2, argument);
            from = at + argument.size();
        }
        return text;
    }
    static const QRegularExpression numbered(QStringLiteral("%[1-9]"));
    for (const QString& argument : arguments) {
        if (!text.contains(numbered))
            break;
        text = text.arg(argument);
    }
    return text;
}

QStringList tableKeys()
{
    return builtInTexts().keys();
}

QStringList missingKeys()
{
    Missing& m = missing();
    std::lock_guard guard(m.lock);
    QStringList keys(m.keys.begin(), m.keys.end());
    keys.sort();
    return keys;
}

} // namespace KLVLocalized
