#pragma once
// The parameter dialog of an outgoing protocol command: one row per parameter (its name, and the
// values to choose from when it has a fixed set), and the command filled in with the values
// chosen. A cancelled dialog gives nothing.

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

namespace KLVParamConfig {

struct Row {
    QString name;
    QStringList possibleValues; // empty: a free text field
};

QString title(const QVariantMap& descriptor);
QList<Row> rows(const QVariantMap& descriptor);
// The names of the parameters whose value (one per row, in order) is empty or only blanks. Every
// parameter fills a place in its command's text, so a command with one missing is not sent.
QStringList missing(const QVariantMap& descriptor, const QStringList& values);
// values: one per row, in order (missing ones are empty texts).
std::optional<QVariantMap> result(const QVariantMap& descriptor, bool accepted, const QStringList& values);

} // namespace KLVParamConfig
