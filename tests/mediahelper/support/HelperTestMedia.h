#pragma once
// Clips the media helper's tests need beyond the shared fixture (exact sizes and sample aspect
// ratios, dark openings), made with the ffmpeg tool on first use and kept in the build's test
// data. Safe when several test processes ask at once.

#include <QString>

namespace testsupport {

enum class HelperClip {
    Square1080p,   // 1920x1080, sample aspect 1:1, 25 fps, 4 s, H.264
    Anamorphic480, // 720x480, sample aspect 8:9 (displays as 640x480), 25 fps, 4 s
    DarkStart,     // 320x180, 6 s of black then 6 s of test pattern, a key frame every second
    AllDark,       // 160x90, 20 s of black, a key frame every second
    OffsetStart,   // MPEG-TS starting at 10 s: 2 s black then 2 s white, 160x90
    Small,         // 320x240, 25 fps, 8 s of test pattern
    // 320x240 at 29.97, 360 frames (12.012 s) in a QuickTime movie whose header states 7207/600 s:
    // a movie time scale of 600 rounded down, as some writers leave it.
    Ntsc360FramesStatedShort,
};

// The clip's path (made when missing); empty when the ffmpeg tool failed.
QString helperClipPath(HelperClip clip);

// The Clipwright program of this build.
QString clipwrightProgram();

// The process ids of this process's children that have ended but were never reaped.
int zombieChildCount();

} // namespace testsupport
