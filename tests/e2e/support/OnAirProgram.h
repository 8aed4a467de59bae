#pragma once
// The program with N channels, each playing to a virtual card of its own in one mode and each
// driven by an automation controller over VDCP on TCP (its own port, its own connection): what
// the on-air tests and the on-air benchmark share. Reads what each card showed, period by period.

#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/VdcpSession.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace e2e {

// A card mode by its exact rate, small enough that barcodes are read from every period.
struct CardMode {
    QString name;
    int width = 320;
    int height = 240;
    int64_t frameDuration = 1001;
    int64_t timeScale = 30000;
    // Card periods per second.
    double rate() const { return double(timeScale) / double(frameDuration); }
};
CardMode ntscMode();       // 29.97 progressive
CardMode ntscDoubleMode(); // 59.94 progressive
CardMode hd720DoubleMode(); // HD 720p 59.94

class OnAirProgram {
public:
    // channels[c] are the cues of channel c + 1; linkedTo as in Scene (0: not linked). adjust,
    // when given, changes the prepared scene before the program's home is made.
    OnAirProgram(const std::vector<std::vector<Cue>>& channels, const CardMode& mode, std::vector<int> linkedTo = {},
                 const std::function<void(Scene&)>& adjust = {});
    ~OnAirProgram();

    // Starts the program and opens port 1 on every channel's connection; false with the reason.
    bool start(QString* why);
    KalvantoProcess& app() { return *app_; }
    int channels() const { return int(sessions_.size()); }

    // VDCP commands on a channel's connection; true when acknowledged.
    bool cue(int channel, const QString& id);
    // Cue With Data: in point and duration as BVW time codes (hours, minutes, seconds, frames).
    bool cueWithData(int channel, const QString& id, const int in[4], const int duration[4]);
    bool play(int channel);
    bool still(int channel);
    bool stop(int channel);
    // Step: one frame forward.
    bool step(int channel);

    // Records in a card's frame log so far: a position to read from later.
    size_t logMark(int channel);
    // The barcode of every period from a mark on.
    std::vector<int64_t> onAirSince(int channel, size_t mark);
    // The reference period of every record from a mark on (to line cards up).
    std::vector<int64_t> periodsSince(int channel, size_t mark);
    // Waits until the channel's port status says its cue has loaded (cue done).
    bool waitForCueDone(int channel, int limitMs = 20000);
    // Waits until the card shows `code` (real time, bounded).
    bool waitForOnAir(int channel, int64_t code, int limitMs = 20000);
    // Waits until the card shows the same frame for `periods` periods in a row.
    bool waitForHold(int channel, int periods, int limitMs = 30000);

private:
    bool ask(int channel, const QByteArray& command, int timeoutMs = 30000);

    std::unique_ptr<KalvantoProcess> app_;
    std::vector<uint16_t> ports_;
    std::vector<std::unique_ptr<VdcpSession>> sessions_;
};

} // namespace e2e
