#include "comm/showcontrol/midi/QMMidiMessage.h"

#include "comm/core/QMCommLog.h"

#include <QStringList>

QMMidiMessage::QMMidiMessage(std::uint8_t type, std::uint8_t channel, std::uint8_t data1, std::uint8_t data2)
    : data1_(data1), data2_(data2), type_(type), channel_(channel)
{
}

std::optional<QMMidiMessage> QMMidiMessage::withSysexArray(const std::vector<int>& bytes)
{
    std::vector<std::uint8_t> data;
    data.reserve(bytes.size());
    for (const int value : bytes) {
        if (value > 127 || value < 0) {
            qmcomm::logError(QStringLiteral("QMMidiMessage:initWithSysexArray failed."));
            return std::nullopt;
        }
        data.push_back(std::uint8_t(value));
    }
    QMMidiMessage message(0xF0, 0);
    message.sysexArray_ = std::move(data);
    return message;
}

QString QMMidiMessage::description() const
{
    return QStringLiteral("QMMidiMessage -- type: %1 channel: %2 data1: %3 data2: %4").arg(type_).arg(channel_).arg(data1_).arg(data2_);
}

QString QMMidiMessage::lengthyDescription() const
{
    const int wheel = (int(data2_) << 7) | data1_;
    switch (type_) {
    case 0x80: return QStringLiteral("NoteOff, ch.%1, note.%2, val.%3").arg(channel_).arg(data1_).arg(data2_);
    case 0x90: return QStringLiteral("NoteOn, ch.%1, note.%2, val.%3").arg(channel_).arg(data1_).arg(data2_);
    case 0xA0: return QStringLiteral("AfterTouch, ch.%1, note.%2, val.%3").arg(channel_).arg(data1_).arg(data2_);
    case 0xB0: return QStringLiteral("ControlChange, ch.%1, note.%2, val.%3").arg(channel_).arg(data1_).arg(data2_);
    case 0xC0: return QStringLiteral("ProgramChange, ch.%1, pgm.%2").arg(channel_).arg(data1_);
    case 0xD0: return QStringLiteral("ChannelPressure, ch.%1, val.%2").arg(channel_).arg(data1_);
    case 0xE0: return QStringLiteral("PitchWheel, ch.%1, pgm.%2").arg(channel_).arg(wheel);
    case 0xF0: return QStringLiteral("SysexDumpBegin");
    case 0xF1: return QStringLiteral("MTCQuarterFrame, %1").arg(data1_);
    case 0xF2: return QStringLiteral("SongPosPointer, %1").arg(wheel);
    case 0xF3: return QStringLiteral("SongSelect, %1").arg(data1_);
    case 0xF4: return QStringLiteral("UndefinedCommon1");
    case 0xF5: return QStringLiteral("UndefinedCommon2");
    case 0xF6: return QStringLiteral("Tune Request");
    case 0xF7: {
        QStringList items;
        if (sysexArray_) {
            for (const std::uint8_t b : *sysexArray_)
                items << QString::number(b);
        }
        return QStringLiteral("EndSysexDump, (%1)").arg(items.join(QStringLiteral(", ")));
    }
    case 0xF8: return QStringLiteral("Clock");
    case 0xF9: return QStringLiteral("Tick");
    case 0xFA: return QStringLiteral("Start");
    case 0xFB: return QStringLiteral("Continue");
    case 0xFD: return QStringLiteral("UndefinedRealtime");
    case 0xFE: return QStringLiteral("ActiveSense");
    case 0xFF: return QStringLiteral("Reset");
    default: return QStringLiteral("");
    }
}

QVariantMap QMMidiMessage::applicationCommandDictionary() const
{
    return {{QStringLiteral("state"), uint(type_)},
            {QStringLiteral("channel"), uint(channel_)},
            {QStringLiteral("note"), uint(data1_)},
            {QStringLiteral("intensity"), uint(data2_)}};
}

int QMMidiMessage::dataLengthForStatus(std::uint8_t status)
{
    if (status < 0xF0) {
        const std::uint8_t kind = status & 0xF0;
        return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
    }
    switch (status) {
    case 0xF0:
    case 0xF7: return -1;
    case 0xF1:
    case 0xF3: return 1;
    case 0xF2: return 2;
    default: return 0; // F4, F5, F6 and real time
    }
}

std::vector<std::uint8_t> QMMidiMessage::wireBytes() const
{
    if (type_ == 0xF0) {
        std::vector<std::uint8_t> bytes{0xF0};
        if (sysexArray_)
            bytes.insert(bytes.end(), sysexArray_->begin(), sysexArray_->end());
        bytes.push_back(0xF7);
        return bytes;
    }
    const std::uint8_t status = type_ < 0xF0 ? std::uint8_t(type_ | (channel_ & 0x0F)) : type_;
    std::vector<std::uint8_t> bytes{status};
    const int length = dataLengthForStatus(status);
    if (length >= 1)
        bytes.push_back(data1_ & 0x7F);
    if (length >= 2)
        bytes.push_back(data2_ & 0x7F);
    return bytes;
}
