#pragma once
// Names as they appear in the document files.

namespace QMXMLNames {

inline constexpr const char* kIvarNameAttribute = "qmXMLIvarName";
inline constexpr const char* kDictionaryKeyAttribute = "qmXMLDictionaryKey";
inline constexpr const char* kHintAttribute = "hint";
inline constexpr const char* kArrayElement = "array";
inline constexpr const char* kDictionaryElement = "dictionary";
inline constexpr const char* kStringElement = "NSString";
inline constexpr const char* kNumberElement = "NSNumber";
inline constexpr const char* kDateElement = "NSDate";
inline constexpr const char* kColorElement = "NSColor";

} // namespace QMXMLNames
