#include "ui/logic/record/KLVRecordFormat.h"

#include "app/util/KLVUtilities.h"

#include <QStringList>

#include <algorithm>

namespace KLVRecordFormat {

namespace {

// The leading integer of a text, as a number field reads it: spaces, a sign, digits.
int leadingInt(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+'))
        negative = text.at(i++) == u'-';
    long long value = 0;
    for (; i < text.size() && text.at(i).isDigit() && text.at(i).unicode() < 128; ++i) {
        value = value * 10 + (text.at(i).unicode() - '0');
        if (value > 0x7fffffff)
            return negative ? -0x7fffffff - 1 : 0x7fffffff;
    }
    return int(negative ? -value : value);
}

QString unitAmount(double bytes, QString* unit)
{
    const double gb = bytes / double(1 << 30);
    if (gb >= 1) {
        *unit = QStringLiteral("GB");
        return QString::asprintf("%.1f", gb);
    }
    *unit = QStringLiteral("MB");
    return QString::asprintf("%.1f", bytes / double(1 << 20));
}

} // namespace

int durationInSeconds(const QString& text)
{
    const QStringList parts = text.split(u':');
    long long seconds = 0;
    if (parts.size() == 2)
        seconds = 60LL * leadingInt(parts[0]) + leadingInt(parts[1]);
    else if (parts.size() == 3)
        seconds = 3600LL * leadingInt(parts[0]) + 60LL * leadingInt(parts[1]) + leadingInt(parts[2]);
    else
        seconds = leadingInt(text);
    return int(std::clamp<long long>(seconds, -0x7fffffff, 0x7fffffff));
}

QString durationText(long seconds)
{
    if (seconds <= 0)
        return QStringLiteral("00:00:00");
    return QString::asprintf("%02ld:%02ld:%02ld", seconds / 3600, (seconds / 60) % 60, seconds % 60);
}

QString framesAsTime(long long frames, double frameRate)
{
    if (!(frameRate > 0))
        return KLVUtilities::formatCurrentTime(0, 0);
    return KLVUtilities::formatCurrentTime(double(frames) / frameRate, frameRate);
}

QList<int> offeredCodecs()
{
    return {0, 1, 2, 3, 4, kH264Codec};
}

QString codecLabelKey(int codec)
{
    switch (codec) {
    case 0: return QStringLiteral("QM_CODEC_ProRes4444");
    case 1: return QStringLiteral("QM_CODEC_ProRes422HQ");
    case 2: return QStringLiteral("QM_CODEC_ProRes422");
    case 3: return QStringLiteral("QM_CODEC_ProRes422LT");
    case 4: return QStringLiteral("QM_CODEC_ProRes422Proxy");
    default: return QStringLiteral("QM_CODEC_H264");
    }
}

int inputAudioChannels(long stored)
{
    return stored >= 2 && stored <= 16 ? int(stored) : 2;
}

bool isValidFileName(const QString& name)
{
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') || name.contains(QChar(0)))
        return false;
    // Room for the ".mov" the recording adds.
    return name.toUtf8().size() <= 255 - 4;
}

bool sizeWarning(double neededBytes, double availableBytes)
{
    return neededBytes > availableBytes - kSpaceMargin;
}

QString amountText(double bytes)
{
    QString unit;
    const QString value = unitAmount(bytes, &unit);
    return value + u' ' + unit;
}

QString sizeDescription(double neededBytes, double availableBytes)
{
    return amountText(neededBytes) + QStringLiteral(", ") + amountText(availableBytes) +
           QStringLiteral(" available on disk");
}

QueueMonitor::Notice QueueMonitor::update(float headroom)
{
    if (headroom > 50) {
        status_ = 0;
    } else if (headroom < 20) {
        if (status_ <= 1) {
            status_ = 2;
            return Danger;
        }
    } else if (headroom < 45) {
        if (status_ <= 0) {
            status_ = 1;
            return Warning;
        }
    }
    return None;
}

} // namespace KLVRecordFormat
