#pragma once
// An interpreter with scripted channels: each port number (or port name) addresses one channel
// with a state, a cued item, its time and duration, and a media list. Every call is recorded
// with its parameters so tests can check exactly what a protocol sent.
#include "comm/core/QMApplicationCommandInterpreting.h"
#include "comm/timecode/QMTimeCode.h"

#include <QMap>
#include <QStringList>

#include <mutex>

struct DeckChannel {
    QString state = QStringLiteral("QMApplicationStateStill"); // a QMApplicationState... key
    QString cuedName;                                          // empty: nothing cued
    QMTimeCode currentTime;
    QMTimeCode duration;
    QStringList media;
    bool cueing = false; // a cue taken and still loading: the state adds Prerolling
};

class DeckInterpreter : public QMApplicationCommandInterpreting {
public:
    struct Call {
        QString op;
        Params params;
    };

    // Channels by port number; a port name "name" addresses channelsByName.
    QMap<qlonglong, DeckChannel> channels;
    QMap<QString, DeckChannel> channelsByName;

    std::vector<Call> calls() const;
    void clear();
    // The last call of an operation (empty op when none).
    Call last(const QString& op) const;
    int count(const QString& op) const;

    bool interpretTransportStop(const Params& p) override { return note("stop", p); }
    bool interpretTransportPlay(const Params& p) override { return note("play", p); }
    bool interpretTransportPause(const Params& p) override { return note("pause", p); }
    bool interpretTransportRewind(const Params& p) override { return note("rewind", p); }
    bool interpretTransportFastForward(const Params& p) override { return note("fastForward", p); }
    bool interpretTransportSeek(const Params& p) override { return note("seek", p); }
    bool interpretTransportStep(const Params& p) override { return note("step", p); }
    bool interpretTransportTimecode(const Params& p) override { return note("timecode", p); }
    bool interpretCueMedia(const Params& p) override { return note("cue", p); }
    Answer interpretGetCuedMedia(const Params& p) override;
    Answer interpretListMedia(const Params& p) override;
    Answer currentApplicationStateForParams(const Params& p) override;

private:
    bool note(const char* op, const Params& p);
    const DeckChannel* channelFor(const Params& p) const;

    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};
