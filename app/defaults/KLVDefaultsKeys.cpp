#include "app/defaults/KLVDefaultsKeys.h"

#include "platform/foundation/UserDefaults.h"

namespace KLVDefaultsKeys {

QString channelKey(const char* format, long tag)
{
    QString key = QString::fromLatin1(format);
    key.replace(QStringLiteral("%ld"), QString::number(tag));
    return key;
}

QVariantMap channelRegisteredDefaults(long tag)
{
    return {
        {channelKey(kLastCodec, tag), 3},
        {channelKey(kLastAudioChannelCount, tag), 2},
        {channelKey(kLastAnamorphic, tag), false},
        {channelKey(kSelectedOperationMode, tag), 0},
    };
}

void registerChannelDefaults(long tag)
{
    platform::UserDefaults::sharedDefaults().registerDefaults(channelRegisteredDefaults(tag));
}

} // namespace KLVDefaultsKeys
