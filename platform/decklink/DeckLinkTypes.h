#pragma once

// Value types of the SDI card layer: result codes, formats, flags and the enumerations its calls
// take. The interfaces are in DeckLinkInterfaces.h.

#include <cstdint>

namespace platform::decklink {

// Calls return a 32-bit result: 0 (or 1 for "done, nothing to do") on success, negative on failure.
using Result = int32_t;

inline constexpr Result kOk = 0;
inline constexpr Result kFalse = 1;
inline constexpr Result kOutOfMemory = int32_t(0x80000002);
inline constexpr Result kInvalidArgument = int32_t(0x80000003);
inline constexpr Result kNoInterface = int32_t(0x80000004);
inline constexpr Result kFail = int32_t(0x80000008);
inline constexpr Result kAccessDenied = int32_t(0x80000009);

inline constexpr bool succeeded(Result r) { return r >= 0; }

inline constexpr uint32_t fourCC(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) << 24 | uint32_t(uint8_t(b)) << 16 | uint32_t(uint8_t(c)) << 8 |
           uint32_t(uint8_t(d));
}

// A display mode as the card names it; the values are the card's own and are only compared.
using DisplayModeId = uint32_t;

using PixelFormat = uint32_t;
inline constexpr PixelFormat kFormat8BitYUV = fourCC('2', 'v', 'u', 'y');   // U Y0 V Y1
inline constexpr PixelFormat kFormat10BitYUV = fourCC('v', '2', '1', '0');

enum class FieldDominance : uint32_t {
    Progressive,
    UpperFieldFirst,
    LowerFieldFirst,
};

using VideoOutputFlags = uint32_t;
inline constexpr VideoOutputFlags kVideoOutputDefault = 0;
inline constexpr VideoOutputFlags kVideoOutputRP188 = 4; // frames carry RP188 time code

using VideoInputFlags = uint32_t;
inline constexpr VideoInputFlags kVideoInputDefault = 0;

using FrameFlags = uint32_t;
inline constexpr FrameFlags kFrameDefault = 0;
// Set on a captured frame when the input has no signal (the frame's flags read negative as int32).
inline constexpr FrameFlags kFrameHasNoInputSource = 0x80000000u;

enum class CompletionResult : uint32_t {
    Completed = 0,     // shown at its time
    DisplayedLate = 1, // shown, but after its time
    Dropped = 2,       // never shown: a later frame was due first
    Flushed = 3,       // never shown: playback stopped or output disabled
};

using TimecodeFormat = uint32_t;
inline constexpr TimecodeFormat kTimecodeRP188VITC1 = fourCC('r', 'p', 'v', '1');
inline constexpr TimecodeFormat kTimecodeRP188VITC2 = fourCC('r', 'p', '1', '2');
inline constexpr TimecodeFormat kTimecodeSerial = fourCC('s', 'e', 'r', 'i');

using TimecodeFlags = uint32_t;
inline constexpr TimecodeFlags kTimecodeFlagDefault = 0;
inline constexpr TimecodeFlags kTimecodeFieldMark = 2; // second field of an interlaced frame

using TimeValue = int64_t;
using TimeScale = int64_t;

inline constexpr uint32_t kAudioSampleRate48kHz = 48000;

enum class AudioSampleType : uint32_t {
    Integer16 = 16,
    Integer32 = 32,
};

enum class AudioOutputStreamType : uint32_t {
    Continuous, // samples follow one another; stream times are ignored
};

// Reference (genlock) status bits.
using ReferenceStatus = uint32_t;
inline constexpr ReferenceStatus kReferenceNotSupported = 1;
inline constexpr ReferenceStatus kReferenceLocked = 2;

} // namespace platform::decklink
