#pragma once
// The DMX parser (parser type 4, "DMX"): compares each received frame with the universe as the
// frames so far left it and reports the changed slots as one QMApplicationCommandDMXValuesChanged (keys: the 0-based slot
// index as decimal text; values: the new slot value). Outgoing commands name slots and values and
// go out as one whole 512-slot frame in which only the named slots are non-zero.
//
// Frames arrive on the communicator's queue and are handled on the main thread, in arrival order.
// Only one hand-off to the main thread is outstanding at a time: a frame arriving while one waits
// replaces it, so a console flooding the port costs at most one frame of memory and the main
// thread compares against the newest frame (DMX frames carry state, not events). Replaced frames
// are counted; the communicator reports them.
#include "comm/core/QMParserProtocols.h"
#include "comm/core/QMProtocolParser.h"

#include <QByteArray>

#include <mutex>
#include <optional>

class QMProtocolParserDMX : public QMProtocolParser, public QMDMXProtocolParser {
public:
    static constexpr qsizetype kUniverseSlots = 512;

    static const QMProtocolParserClass& dmxClass();
    const QMProtocolParserClass& parserClass() const override { return dmxClass(); }

    // Any thread.
    void hardwareReceivedDMXData(const QByteArray& frame) override;
    // Main thread.
    void handleDMXData(const QByteArray& frame);
    // Slot index (decimal text) to new value for every slot of the new frame that differs. A
    // missing old frame, and the slots it does not reach, count as zeros; the slots the new frame
    // does not carry keep their value and so never change.
    static QVariantMap changedValuesForData(const QByteArray& newData, const std::optional<QByteArray>& oldData);
    // The universe after a frame: the frame's slots over the last values (a shorter frame leaves
    // the slots it does not carry as they were); never more than 512 slots.
    static QByteArray mergedFrame(const QByteArray& newData, const std::optional<QByteArray>& oldData);
    void sendProtocolCommand(const QVariantMap& command) override;

    std::optional<QByteArray> lastFrame() const;
    std::uint64_t mergedFrameCount() const override;

private:
    void takePending();

    mutable std::mutex mutex_;
    std::optional<QByteArray> pending_;
    bool handOffPosted_ = false;
    std::uint64_t mergedFrames_ = 0;
    std::optional<QByteArray> lastFrame_;
};
