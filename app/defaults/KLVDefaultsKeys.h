#pragma once
// Every user-defaults key of the application and of the channel columns, letter for letter.
// Per-channel keys end in the channel tag (1..N): channelKey() fills it in. Three keys carry an
// underscore before the tag ("KLVShowSlate_%ld", "KLVShowTimeCode_%ld", "KLVMutePreview_%ld");
// the others do not.

#include <QString>
#include <QVariantMap>

namespace KLVDefaultsKeys {

// --- application-wide ---
// Path of the document, stored abbreviated with a tilde.
inline constexpr const char* kDataFile = "KLVDataFile";
inline constexpr const char* kDataFileDefault = "~/Documents/Kalvanto.klv3";
// 0 follow the system, 1 light, 2 dark; any other stored value reads as 0.
inline constexpr const char* kUserAppearance = "UserAppearance";
// The user's reporting switches (registered off); the diagnostics module follows them.
inline constexpr const char* kEnableErrorReporting = "enableErrorReporting";
inline constexpr const char* kEnableAnalyticsReporting = "enableAnalyticsReporting";
// A slave's play range ends at its master's out point.
inline constexpr const char* kLinkedChannelAdhereToMasterOutpoint = "linkedChannelAdhereToMasterOutpoint";
// The folder the import panel opens in.
inline constexpr const char* kLastMediaDirectory = "QMKLVLastMediaDirectory";
// Where the card backend plugin and the virtual card's configuration are found (ours: the
// environment variables KLV_DECKLINK_PLUGIN / KLV_DECKLINK_VIRTUAL_CONFIG override them).
inline constexpr const char* kDeckLinkPluginPath = "KLVDeckLinkPluginPath";
inline constexpr const char* kDeckLinkVirtualConfig = "KLVDeckLinkVirtualConfig";

// --- per channel (format with channelKey) ---
inline constexpr const char* kLastCodec = "QMKLVLastCodec%ld";                          // registered 3
inline constexpr const char* kLastAudioChannelCount = "QMKLVLastAudioChannelCount%ld";  // registered 2
inline constexpr const char* kLastAnamorphic = "QMKLVLastAnamorphic%ld";                // registered NO
inline constexpr const char* kSelectedOperationMode = "KLVSelectedOperationMode%ld";    // registered 0
inline constexpr const char* kLastRecordingDirectory = "QMKLVLastRecordingDirectory%ld"; // none
inline constexpr const char* kLastRecordingFileName = "QMKLVLastRecordingFileName%ld";   // none
inline constexpr const char* kLastRecordingDuration = "QMKLVLastRecordingDuration%ld";   // none
inline constexpr const char* kShowTimeCode = "KLVShowTimeCode_%ld";   // absent: the field keeps its own
inline constexpr const char* kShowSlate = "KLVShowSlate_%ld";         // absent: YES
inline constexpr const char* kMutePreview = "KLVMutePreview_%ld";     // absent: NO
inline constexpr const char* kSelectedSyncMode = "KLVSelectedSyncMode%ld";       // absent: 1
inline constexpr const char* kChannelLabel = "KLVChannelLabel%ld";               // absent: nil
inline constexpr const char* kSelectedAudioOutput = "KLVSelectedAudioOutput%ld"; // absent: 0 (computer)
inline constexpr const char* kAudioMute = "KLVAudioMute%ld";                     // absent: 0
inline constexpr const char* kSelectedDeviceName = "KLVSelectedDeviceName%ld";   // absent: first-start choice
inline constexpr const char* kSelectedModeIndex = "KLVSelectedModeIndex%ld";     // absent: first-start choice; -1 none

inline constexpr bool kShowSlateDefault = true;
inline constexpr bool kMutePreviewDefault = false;
inline constexpr long kSyncModeDefault = 1;
inline constexpr long kAudioOutputDefault = 0;
inline constexpr long kAudioMuteDefault = 0;

// The key with the channel tag filled in ("KLVShowSlate_%ld", 2 → "KLVShowSlate_2").
QString channelKey(const char* format, long tag);

// The four defaults a channel registers for its tag (codec 3, two audio channels, not
// anamorphic, playback mode); registered values never hide stored ones.
QVariantMap channelRegisteredDefaults(long tag);
void registerChannelDefaults(long tag);

} // namespace KLVDefaultsKeys
