#include "comm/core/protocols/deck/QMDeckControlText.h"

#include <QCoreApplication>
#include <QVariant>

QByteArray qmASCIIFolded(const QString& name)
{
    QByteArray out;
    out.reserve(name.size());
    for (const char32_t c : name.toUcs4())
        out.append(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

QString qmStringFromASCII(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char b : bytes)
        out.append(static_cast<unsigned char>(b) < 0x80 ? QChar::fromLatin1(b) : QChar(u'?'));
    return out;
}

QString qmDeckDeviceName()
{
    // Linux has no bundle dictionary: the application object carries the names.
    const QVariant display = QCoreApplication::instance() ? QCoreApplication::instance()->property("applicationDisplayName") : QVariant();
    if (display.isValid() && !display.toString().isEmpty())
        return display.toString();
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Kalvanto") : name;
}
