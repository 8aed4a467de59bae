#pragma once
// Reading and writing one DMX slot of a frame (index 0 is the first slot after the START code).
// An index at or beyond the frame's length raises platform::Exception (internal inconsistency,
// "DMX channel not within bounds of data") and touches nothing.
#include <QByteArray>

#include <cstdint>

namespace FWNMXData {

std::uint8_t valueOfChannel(const QByteArray& data, std::size_t index);
void setValueOfChannel(QByteArray& data, std::uint8_t value, std::size_t index);

} // namespace FWNMXData
