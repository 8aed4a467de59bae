#pragma once
// Outgoing command descriptors: building the tables the controller protocols offer, and sending
// a byte-oriented descriptor (hexadecimal text) in one write or in pieces cut at its break
// indexes with a pause after each cut.
#include <QByteArray>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

namespace QMProtocolCommandSender {

// One parameter of a descriptor: the template range its value replaces and the values offered.
QVariantMap parameter(const QString& name, qsizetype location, qsizetype length, const QStringList& possibleValues = {});
// A descriptor with its index, display name, description, template and parameters.
QVariantMap descriptor(int index, const QString& displayName, const QString& description, const QString& format,
                       const QVariantList& params = {});
// Display name to descriptor.
QVariantMap table(const QList<QVariantMap>& descriptors);

// The pause between pieces when a descriptor names none, in microseconds.
inline constexpr qint64 kDefaultBreakMicroseconds = 50000;

// The template with the parameters substituted.
QString substitutedFormat(const QVariantMap& descriptor);

// Sends a hexadecimal descriptor through write. Without break indexes the whole text goes out in
// one write. With them (character positions in the text, QMProtocolCommandKeyBreakIndexes as a
// list of numbers) the text is written piece by piece up to each index with the pause after
// every piece, and the text after the last index is written as the final piece: a command is
// never cut short. Runs and sleeps on the calling thread. Text that is not hexadecimal is logged
// and that piece is not written.
void sendHexDescriptor(const QVariantMap& descriptor, const std::function<void(const QByteArray&)>& write);

} // namespace QMProtocolCommandSender
