#pragma once
// Line-end byte strings the text protocols append to what they send.

#include <QByteArray>

namespace NSDataExtensions {

inline QByteArray CRLFData() { return QByteArray("\r\n", 2); }
inline QByteArray CRData() { return QByteArray("\r", 1); }
inline QByteArray LFData() { return QByteArray("\n", 1); }
inline QByteArray ZeroData() { return QByteArray(1, '\0'); }

} // namespace NSDataExtensions
