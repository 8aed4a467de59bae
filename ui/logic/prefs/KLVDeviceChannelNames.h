#pragma once
// The channels a control device can be set to: "Multi Channel", then channels 1 to 4 by their
// labels ("KLVChannelLabel%d"; "Channel n" when unlabelled). A label that an earlier entry begins
// with gets " (n)" appended, n being 1 + the number of such entries, so every entry can be told
// apart. The position in the list is the device's channel index.

#include <QStringList>

namespace KLVDeviceChannelNames {

inline constexpr int kChannelCount = 4;

QStringList channelNames();
// labels: channels 1 to 4 in order (missing or empty ones are unlabelled).
QStringList channelNamesForLabels(const QStringList& labels);

} // namespace KLVDeviceChannelNames
