#pragma once
// The record settings as the record panes show and check them: the duration text, the codec
// offered and its label, the audio channel count the input opens with, file names, the space
// line and the queue notices.

#include <QList>
#include <QString>

namespace KLVRecordFormat {

// "1:30" 90, "1:00:00" 3600, "90" 90; anything else counts its leading integer ("abc" 0).
int durationInSeconds(const QString& text);
// "00:01:30"; "00:00:00" for 0 or less.
QString durationText(long seconds);

// A count of recorded frames as the record pane shows it: the time code of that many frames at
// the recording's own rate (300 frames at 29.97: "00:00:10;00").
QString framesAsTime(long long frames, double frameRate);

// The codecs the menu offers, in menu order: the ProRes family (the encoder's indexes 0..4) and
// H.264, which the encoder records for every other index.
inline constexpr int kH264Codec = 5;
QList<int> offeredCodecs();
// The label key of a codec ("QM_CODEC_ProRes422LT" for 3, "QM_CODEC_H264" outside 0..4).
QString codecLabelKey(int codec);

// The stored channel count when it lies in 2..16, else 2.
int inputAudioChannels(long stored);

// A name a Linux file system takes as one file name: not empty, ".", or "..", no "/" or NUL,
// at most 251 bytes in UTF-8 (255 with ".mov").
bool isValidFileName(const QString& name);

// Space the others may not take from the estimate.
inline constexpr double kSpaceMargin = 5.0 * 1024 * 1024;
bool sizeWarning(double neededBytes, double availableBytes);
// "1.5 GB" when at least one GiB, else "819.2 MB".
QString amountText(double bytes);
// "%.1f GB, %.1f MB available on disk".
QString sizeDescription(double neededBytes, double availableBytes);
inline constexpr const char* kNoDurationDescription = "Select a codec and enter a duration";

// One queue's notices: each is raised once until the headroom climbs above 50 % again.
class QueueMonitor {
public:
    enum Notice { None = 0, Warning = 1, Danger = 2 };
    // headroom: percent free.
    Notice update(float headroom);
    int status() const { return status_; }

private:
    int status_ = 0;
};

} // namespace KLVRecordFormat
