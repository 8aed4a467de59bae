#include "ui/logic/prefs/KLVDeviceChannelNames.h"

#include "platform/foundation/UserDefaults.h"

#include <algorithm>

namespace KLVDeviceChannelNames {

QStringList channelNamesForLabels(const QStringList& labels)
{
    QStringList names{QStringLiteral("Multi Channel")};
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        QString label = channel <= labels.size() ? labels[channel - 1] : QString();
        if (label.isEmpty())
            label = QStringLiteral("Channel %1").arg(channel);
        const auto earlier = std::count_if(names.begin(), names.end(),
                                           [&](const QString& name) { return name.startsWith(label); });
        if (earlier > 0)
            label += QStringLiteral(" (%1)").arg(earlier + 1);
        names << label;
    }
    return names;
}

QStringList channelNames()
{
    QStringList labels;
    const platform::UserDefaults& defaults = platform::UserDefaults::sharedDefaults();
    for (int channel = 1; channel <= kChannelCount; ++channel)
        labels << defaults.stringForKey(QStringLiteral("KLVChannelLabel%1").arg(channel));
    return channelNamesForLabels(labels);
}

} // namespace KLVDeviceChannelNames
