#include "comm/showcontrol/midi/QMMidiByteParser.h"

#include "comm/core/QMCommLog.h"

void QMMidiByteParser::reset()
{
    status_ = 0;
    have_ = 0;
    expected_ = 0;
    processingSysex_ = false;
    processingSysexIterationCount_ = 0;
    processingSysexArray_.clear();
}

void QMMidiByteParser::beginDelivery()
{
    if (processingSysex_ && ++processingSysexIterationCount_ > kSysexDeliveryLimit)
        abandonSysex();
}

void QMMidiByteParser::abandonSysex()
{
    processingSysex_ = false;
    processingSysexIterationCount_ = 0;
    processingSysexArray_.clear();
}

void QMMidiByteParser::complete(std::vector<QMMidiMessage>& out)
{
    const bool channelMessage = status_ < 0xF0;
    const std::uint8_t type = channelMessage ? std::uint8_t(status_ & 0xF0) : status_;
    const std::uint8_t channel = channelMessage ? std::uint8_t(status_ & 0x0F) : 0;
    QMMidiMessage message(type, channel, expected_ >= 1 ? data_[0] : 0, expected_ >= 2 ? data_[1] : 0);
    if (type == 0x90 && message.data2() == 0)
        message.setType(0x80);
    out.push_back(std::move(message));
    have_ = 0;
    if (!channelMessage)
        status_ = 0; // only channel messages run on
}

void QMMidiByteParser::parse(std::uint8_t byte, std::vector<QMMidiMessage>& out)
{
    if (byte >= 0xF8)
        return;
    if (byte == 0xF0) {
        status_ = 0;
        processingSysex_ = true;
        processingSysexIterationCount_ = 0;
        processingSysexArray_.clear();
        return;
    }
    if (byte == 0xF7) {
        status_ = 0;
        if (!processingSysex_)
            return;
        if (auto message = QMMidiMessage::withSysexArray(processingSysexArray_))
            out.push_back(std::move(*message));
        abandonSysex();
        return;
    }
    if (byte & 0x80) {
        if (processingSysex_) {
            qmcomm::log(QStringLiteral("MIDI system exclusive interrupted by status %1; dropped").arg(byte, 2, 16, QLatin1Char('0')));
            abandonSysex();
        }
        status_ = byte;
        have_ = 0;
        expected_ = QMMidiMessage::dataLengthForStatus(byte);
        if (expected_ == 0)
            complete(out);
        return;
    }
    if (processingSysex_) {
        if (processingSysexArray_.size() >= kSysexByteLimit) {
            qmcomm::logError(QStringLiteral("MIDI system exclusive longer than %1 bytes; dropped").arg(kSysexByteLimit));
            abandonSysex();
            return;
        }
        processingSysexArray_.push_back(byte);
        return;
    }
    if (status_ == 0)
        return; // data with no status to belong to
    data_[have_++] = byte;
    if (have_ == expected_)
        complete(out);
}
