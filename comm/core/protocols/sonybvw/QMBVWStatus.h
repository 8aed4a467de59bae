#pragma once
// The 9-pin status block an edit controller reads with Status Sense (61 20), laid out as decks
// publish it. Byte 1: play 0x01, fast forward 0x04, rewind 0x08, stop 0x20, standby on 0x80.
// Byte 2: cue up complete 0x01, still 0x02, reverse direction 0x04, var 0x08, jog 0x10,
// shuttle 0x20, servo lock 0x80. The other bytes report nothing this server does. Servo lock is
// what controllers wait for before they cue or roll: a playing deck has it, and so has a stopped,
// still or cued one with a clip loaded (a server is ready at once); winding drops it.
#include <QVariantMap>

#include <array>
#include <cstdint>
#include <optional>

enum class QMBVWMotion { Stop, Still, Play, FastForward, Rewind, Jog, Var, Shuttle };

struct QMBVWStatus {
    QMBVWMotion motion = QMBVWMotion::Stop;
    bool reverse = false; // jog, var or shuttle backwards
    bool cueComplete = false;
    bool clipLoaded = false; // the channel has a clip to play
};

using QMBVWStatusBlock = std::array<std::uint8_t, 16>;

QMBVWStatusBlock qmBVWStatusBlock(const QMBVWStatus& status);

// What the deck is doing, from the channel's state answer (QMApplicationState... keys) and the
// motion the controller commanded last, if any. The state says whether the channel plays; the
// commanded motion tells winding and variable speeds apart, which the state cannot. Without a
// channel (a state of Clear) the commanded motion is all there is.
QMBVWMotion qmBVWMotion(const QVariantMap& state, std::optional<QMBVWMotion> commanded);
