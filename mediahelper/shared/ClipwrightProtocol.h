#pragma once
// The media helper's requests and replies. A request names one media file:
//   "action": "metadata" | "thumbnail" | "slate" ("metadata-full" is recognised, not served)
//   "source": absolute path; "thumbnail-destination" / "slate-destination": PNG to write
//   "inPoint", "outPoint": seconds (double), optional
// A reply: "result" "success" | "failure", "reason" (why a request was refused), "response" (the
// metadata dictionary: "path", "size", "format", "validFormat" "YES"/"NO", "duration", "fps").
// Every request is answered once; a refused source still gets its metadata ("validFormat" "NO").

#include <QCborMap>
#include <QString>

#include <optional>

namespace clipwright {

inline constexpr const char* kProgramName = "Clipwright";

inline constexpr const char* kActionKey = "action";
inline constexpr const char* kSourceKey = "source";
inline constexpr const char* kSlateDestinationKey = "slate-destination";
inline constexpr const char* kThumbnailDestinationKey = "thumbnail-destination";
inline constexpr const char* kInPointKey = "inPoint";
inline constexpr const char* kOutPointKey = "outPoint";

inline constexpr const char* kActionSlate = "slate";
inline constexpr const char* kActionThumbnail = "thumbnail";
inline constexpr const char* kActionMetadata = "metadata";
inline constexpr const char* kActionMetadataFull = "metadata-full";

inline constexpr const char* kResultKey = "result";
inline constexpr const char* kReasonKey = "reason";
inline constexpr const char* kResponseKey = "response";
inline constexpr const char* kResultSuccess = "success";
inline constexpr const char* kResultFailure = "failure";
inline constexpr const char* kReasonMissingParameters = "missing parameters";
inline constexpr const char* kReasonUnknownAction = "unknown action";
inline constexpr const char* kReasonNestedTooDeeply = "the request is nested too deeply";
inline constexpr const char* kReasonNotServed = "metadata and images in one request are not served";
inline constexpr const char* kReasonSourceNotAbsolute = "the source is not an absolute path";
inline constexpr const char* kReasonSourceNotRegular = "the source is not a regular file";
inline constexpr const char* kReasonDestinationNotRegular = "the destination is not a regular file";

inline constexpr const char* kMetadataPathKey = "path";
inline constexpr const char* kMetadataSizeKey = "size";
inline constexpr const char* kMetadataFormatKey = "format";
inline constexpr const char* kMetadataValidFormatKey = "validFormat";
inline constexpr const char* kMetadataDurationKey = "duration";
inline constexpr const char* kMetadataFpsKey = "fps";

// The text under key; none when it is absent or not text.
std::optional<QString> stringForKey(const QCborMap& map, const char* key);
// The number under key (double or integer); not-a-number when absent or of another type.
double doubleForKey(const QCborMap& map, const char* key);

} // namespace clipwright
