#pragma once
// The application's texts: keys with the prefix "QM_" looked up in the "Localizable" context.
// An installed translator answers first; the built-in English table (":/Localizable.json")
// answers otherwise, installed or not, so every library and test reads the same texts. A key
// without a text reads as itself, is logged once and is remembered (missingKeys), so a test can
// fail on it.

#include <QString>
#include <QStringList>

namespace KLVLocalized {

// Installs the table as a translator of the running application (once; later calls do nothing),
// for code that asks QCoreApplication::translate directly.
void install();

QString text(const char* key);
inline QString text(const QString& key) { return text(key.toUtf8().constData()); }
// The text with its placeholders filled in order: "%@" one after the other, else "%1", "%2", ….
QString text(const char* key, const QStringList& arguments);
QString fillArguments(QString text, const QStringList& arguments);

// The keys of the built-in table.
QStringList tableKeys();
// Keys asked for in this process that had no text.
QStringList missingKeys();

} // namespace KLVLocalized
