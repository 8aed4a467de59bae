#pragma once
// Keys of the document model: change notifications (the property names) and the user default
// that asks for 8-character cue names.

namespace KLVDocumentKeys {

inline constexpr const char* kUse8CharNamesDefault = "QMCommModuleUse8CharNames";
// Told by KLVPlaylist when the 8-character rule renamed cues: the document must be saved.
inline constexpr const char* kCueNamesChanged = "cueNames";

} // namespace KLVDocumentKeys
