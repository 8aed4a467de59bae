#include "tests/support/BoundSockets.h"

#include <QFile>

#include <arpa/inet.h>

namespace testsupport {

namespace {

// "0100007F" (IPv4: the address's memory bytes read as one little-endian number, printed in hex)
// or 32 hex digits (IPv6: four such words).
QString addressText(const QByteArray& hex)
{
    unsigned char bytes[16] = {};
    const int words = hex.size() == 8 ? 1 : hex.size() == 32 ? 4 : 0;
    if (words == 0)
        return QString::fromLatin1(hex);
    for (int w = 0; w < words; ++w) {
        const quint32 word = hex.mid(w * 8, 8).toUInt(nullptr, 16);
        for (int b = 0; b < 4; ++b)
            bytes[w * 4 + b] = static_cast<unsigned char>(word >> (8 * b));
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (!::inet_ntop(words == 1 ? AF_INET : AF_INET6, bytes, text, sizeof text))
        return QString::fromLatin1(hex);
    return QString::fromLatin1(text);
}

void scan(const QString& path, SocketKind kind, std::uint16_t port, QStringList& out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    file.readLine(); // header
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().simplified().split(' ');
        if (fields.size() < 4)
            continue;
        const QList<QByteArray> local = fields[1].split(':');
        if (local.size() != 2 || local[1].toUInt(nullptr, 16) != port)
            continue;
        if (kind == SocketKind::TcpListening && fields[3] != "0A") // LISTEN
            continue;
        out << addressText(local[0]);
    }
}

} // namespace

QStringList boundAddresses(SocketKind kind, std::uint16_t port)
{
    QStringList out;
    const QString base = kind == SocketKind::TcpListening ? QStringLiteral("/proc/net/tcp") : QStringLiteral("/proc/net/udp");
    scan(base, kind, port, out);
    scan(base + QLatin1Char('6'), kind, port, out);
    return out;
}

} // namespace testsupport
