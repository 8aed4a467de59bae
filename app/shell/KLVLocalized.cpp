#include "app/shell/KLVLocalized.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTranslator>

namespace {

class StringTable final : public QTranslator {
public:
    StringTable()
    {
        QFile file(QStringLiteral(":/Localizable.json"));
        if (!file.open(QIODevice::ReadOnly))
            return;
        const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
        for (auto it = object.begin(); it != object.end(); ++it)
            texts_.insert(it.key(), it.value().toString());
    }
    bool isEmpty() const override { return texts_.isEmpty(); }
    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (qstrcmp(context, "Localizable") != 0 || !sourceText)
            return {};
        return texts_.value(QString::fromUtf8(sourceText));
    }

private:
    QHash<QString, QString> texts_;
};

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
    return QCoreApplication::translate("Localizable", key);
}

} // namespace KLVLocalized
