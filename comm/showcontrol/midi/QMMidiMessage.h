#pragma once
// One MIDI 1.0 message. Channel messages keep their status with the channel nibble cleared as
// the type and the channel (0-15) apart; system messages keep the whole status byte as the type
// and channel 0. A system-exclusive message (type 0xF0) holds its data bytes without 0xF0/0xF7.
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <optional>
#include <vector>

class QMMidiMessage {
public:
    QMMidiMessage(std::uint8_t type, std::uint8_t channel, std::uint8_t data1 = 0, std::uint8_t data2 = 0);
    // Null (and logs "QMMidiMessage:initWithSysexArray failed.") when an element is not 0-127.
    static std::optional<QMMidiMessage> withSysexArray(const std::vector<int>& bytes);

    std::uint8_t type() const { return type_; }
    void setType(std::uint8_t type) { type_ = type; }
    std::uint8_t channel() const { return channel_; }
    std::uint8_t data1() const { return data1_; }
    void setData1(std::uint8_t value) { data1_ = value; }
    std::uint8_t data2() const { return data2_; }
    void setData2(std::uint8_t value) { data2_ = value; }
    const std::optional<std::vector<std::uint8_t>>& sysexArray() const { return sysexArray_; }

    QString description() const;
    QString lengthyDescription() const;
    // "state" = type, "channel", "note" = data1, "intensity" = data2.
    QVariantMap applicationCommandDictionary() const;

    // The bytes of the message on the wire: status and as many data bytes as the status takes
    // (sysex framed by 0xF0 and 0xF7).
    std::vector<std::uint8_t> wireBytes() const;
    // Data bytes that follow a status byte (0 for real-time and tune request, -1 for 0xF0/0xF7).
    static int dataLengthForStatus(std::uint8_t status);

    bool operator==(const QMMidiMessage&) const = default;

private:
    std::optional<std::vector<std::uint8_t>> sysexArray_;
    std::uint8_t data1_ = 0;
    std::uint8_t data2_ = 0;
    std::uint8_t type_ = 0;
    std::uint8_t channel_ = 0;
};
