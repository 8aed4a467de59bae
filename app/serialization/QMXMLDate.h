#pragma once
// The text form of dates: "yyyy-MM-dd HH:mm:ss Z" in the process's local time zone with a
// numeric offset ("2024-03-01 14:05:09 +0100").

#include <QDateTime>
#include <QString>

namespace QMXMLDate {

QString qmXMLStringValue(const QDateTime& date);
// An invalid QDateTime when the text does not match the pattern.
QDateTime qmValueFromXMLStringValue(const QString& text);

} // namespace QMXMLDate
