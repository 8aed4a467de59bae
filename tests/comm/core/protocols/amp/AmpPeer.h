#pragma once
// The switcher's side of AMP, written from the message layout: "CMDS", a four-digit byte count,
// then CMD1, CMD2 and the data as hexadecimal text. Answers carry no line end, so the peer
// frames them itself: the fixed answers by their text, data replies by CMD1's count nibble
// (or, for the 82 and 8A extended forms, the 16-bit byte count after CMD2) plus a two-digit
// checksum: the 8-bit sum of the bytes the text spells.
#include <QByteArray>
#include <QString>


namespace amppeer {

inline QByteArray cmds(const QByteArray& commandHex, const QByteArray& dataHex = {}, const QByteArray& end = "\r\n")
{
    const QByteArray body = commandHex + dataHex;
    return "CMDS" + QByteArray::number(body.size() / 2, 16).rightJustified(4, '0') + body + end;
}

inline QByteArray checksum(const QByteArray& hexText)
{
    unsigned sum = 0;
    for (const char b : QByteArray::fromHex(hexText))
        sum += static_cast<unsigned char>(b);
    return QByteArray::number(sum & 0xFF, 16).rightJustified(2, '0');
}

inline QByteArray withChecksum(const QByteArray& hexText)
{
    return hexText + checksum(hexText);
}

// True when a data reply's last two digits are the checksum of what precedes them.
inline bool checksumHolds(const QByteArray& answer)
{
    return answer.size() >= 4 && checksum(answer.chopped(2)) == answer.right(2);
}

} // namespace amppeer
