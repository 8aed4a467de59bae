#include "ui/logic/channel/KLVChannelTexts.h"

#include <QCoreApplication>

#include <cstring>

namespace KLVChannelTexts {

namespace {
struct Text {
    const char* key;
    const char* english;
};
constexpr Text kEnglish[] = {
    {kNone, "None"},
    {kOK, "OK"},
    {kError, "Error"},
    {kNotConfigured, "Not Configured"},
    {kNoOutputDeviceSelectedMenuItem, "No Output Device Selected"},
    {kNoInputDeviceSelected, "No Input Device Selected"},
    {kNoOutputDeviceSelectedChannel, "No output device is selected for this channel."},
    {kSelectOutputDevice, "Choose an output device and mode in the channel's configuration."},
};
} // namespace

QString localized(const char* key)
{
    const QString translated = QCoreApplication::translate("Localizable", key);
    if (translated != QLatin1String(key))
        return translated;
    for (const Text& t : kEnglish)
        if (std::strcmp(t.key, key) == 0)
            return QString::fromLatin1(t.english);
    return translated;
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
