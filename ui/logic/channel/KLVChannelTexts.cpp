#include "ui/logic/channel/KLVChannelTexts.h"

#include "resources/strings/KLVLocalized.h"

namespace KLVChannelTexts {

QString localized(const char* key)
{
    return KLVLocalized::text(key);
}

QString noDeviceSelectedMenuItemTitle(long operationMode)
{
    static const QString output = localized(kNoOutputDeviceSelectedMenuItem);
    static const QString input = localized(kNoInputDeviceSelected);
    static const QString notConfigured = localized(kNotConfigured);
    switch (operationMode) {
    case 0: return output;
    case 1: return input;
    case -1: return notConfigured;
    default: return QString();
    }
}

} // namespace KLVChannelTexts
