#pragma once
// The channel column's user-visible texts, looked up by their string-table keys.

#include <QString>

namespace KLVChannelTexts {

inline constexpr const char* kNone = "QM_NONE";
inline constexpr const char* kOK = "QM_OK";
inline constexpr const char* kError = "QM_ERROR";
inline constexpr const char* kNotConfigured = "QM_NOT_CONFIGURED";
inline constexpr const char* kNoOutputDeviceSelectedMenuItem = "NO_OUTPUT_DEVICE_SELECTED_MENU_ITEM";
// The one key of the "no input device" text: the record-mode device menu item and the input
// failure both use it.
inline constexpr const char* kNoInputDeviceSelected = "NO_INPUT_DEVICE_SELECTED";
inline constexpr const char* kNoOutputDeviceSelectedChannel = "QM_NO_OUTPUT_DEVICE_SELECTED_CHANNEL";
inline constexpr const char* kSelectOutputDevice = "QM_SELECT_OUTPUT_DEVICE";

QString localized(const char* key);

// The device menu's no-device item for an operation mode: 0 playback, 1 record, -1 not
// configured; any other mode gives "". Looked up once per program.
QString noDeviceSelectedMenuItemTitle(long operationMode);

} // namespace KLVChannelTexts
