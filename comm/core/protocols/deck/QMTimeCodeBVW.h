#pragma once
// Deck-control time codes on the wire: four BCD bytes, frames first, then seconds, minutes and
// hours. 9-pin, VDCP and AMP all carry them this way.
#include "comm/timecode/QMTimeCode.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QVariant>

#include <optional>

// Time codes cross in QVariant::fromValue (no declaration needed with Qt 6).

// Exactly four bytes, each high nibble x 10 + low nibble (no flag bits are masked off); any
// other length gives nullopt. The time code carries no frame rate.
std::optional<QMTimeCode> timeCodeFromBVWData(QByteArrayView data);
// The inverse: each field as (value / 10) in the high nibble and (value % 10) in the low one.
QByteArray bvwData(const QMTimeCode& timeCode);
// Appends the four bytes of bvwData to out.
void appendBVWData(QByteArray& out, const QMTimeCode& timeCode);

// A time code carried in a command's parameters or an answer; anything else reads as zero.
QMTimeCode qmTimeCodeFromVariant(const QVariant& value);
inline QVariant qmVariantFromTimeCode(const QMTimeCode& timeCode) { return QVariant::fromValue(timeCode); }
