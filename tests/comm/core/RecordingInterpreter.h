#pragma once
// An interpreter that offers every operation and records which one ran with which parameters;
// queries answer {"op": <operation>}.
#include "comm/core/QMApplicationCommandInterpreting.h"

#include <QStringList>

class RecordingInterpreter : public QMApplicationCommandInterpreting {
public:
    QStringList calls;
    QList<Params> params;
    bool offerStateForParams = true;

    Answer interpretApplicationInfo(const Params& p) override { return answer("interpretApplicationInfo", p); }
    bool interpretTransportStop(const Params& p) override { return note("interpretTransportStop", p); }
    bool interpretTransportPlay(const Params& p) override { return note("interpretTransportPlay", p); }
    bool interpretTransportPause(const Params& p) override { return note("interpretTransportPause", p); }
    bool interpretTransportRewind(const Params& p) override { return note("interpretTransportRewind", p); }
    bool interpretTransportFastForward(const Params& p) override { return note("interpretTransportFastForward", p); }
    bool interpretTransportSeek(const Params& p) override { return note("interpretTransportSeek", p); }
    bool interpretTransportStep(const Params& p) override { return note("interpretTransportStep", p); }
    bool interpretTransportTimecode(const Params& p) override { return note("interpretTransportTimecode", p); }
    bool interpretCueMedia(const Params& p) override { return note("interpretCueMedia", p); }
    bool interpretCuePresentation(const Params& p) override { return note("interpretCuePresentation", p); }
    bool interpretCuePlaylistItem(const Params& p) override { return note("interpretCuePlaylistItem", p); }
    bool interpretCueAudio(const Params& p) override { return note("interpretCueAudio", p); }
    bool interpretClearAll() override { return note("interpretClearAll"); }
    bool interpretClearBackground() override { return note("interpretClearBackground"); }
    bool interpretClearSlide() override { return note("interpretClearSlide"); }
    bool interpretClearProps() override { return note("interpretClearProps"); }
    bool interpretClearAudio() override { return note("interpretClearAudio"); }
    bool interpretClearLogo() override { return note("interpretClearLogo"); }
    bool interpretTimelinePlay() override { return note("interpretTimelinePlay"); }
    bool interpretTimelinePause() override { return note("interpretTimelinePause"); }
    bool interpretTimelineReset() override { return note("interpretTimelineReset"); }
    bool interpretSlideNext() override { return note("interpretSlideNext"); }
    bool interpretSlidePrevious() override { return note("interpretSlidePrevious"); }
    bool interpretPlaylistItemNext() override { return note("interpretPlaylistItemNext"); }
    bool interpretPlaylistItemPrevious() override { return note("interpretPlaylistItemPrevious"); }
    bool interpretMediaNext() override { return note("interpretMediaNext"); }
    bool interpretMediaPrevious() override { return note("interpretMediaPrevious"); }
    Answer interpretGetCuedMedia(const Params& p) override { return answer("interpretGetCuedMedia", p); }
    Answer interpretGetCuedPresentation(const Params& p) override { return answer("interpretGetCuedPresentation", p); }
    Answer interpretGetCuedPlaylistItem(const Params& p) override { return answer("interpretGetCuedPlaylistItem", p); }
    Answer interpretGetCuedAudio(const Params& p) override { return answer("interpretGetCuedAudio", p); }
    Answer interpretListMedia(const Params& p) override { return answer("interpretListMedia", p); }
    Answer interpretListPresentation(const Params& p) override { return answer("interpretListPresentation", p); }
    Answer interpretListPlaylistItem(const Params& p) override { return answer("interpretListPlaylistItem", p); }
    Answer interpretListAudio(const Params& p) override { return answer("interpretListAudio", p); }
    Answer interpretQueryMedia(const Params& p) override { return answer("interpretQueryMedia", p); }
    bool interpretDMXValuesChanged(const Params& p) override { return note("interpretDMXValuesChanged", p); }
    bool interpretMIDINote(const Params& p) override { return note("interpretMIDINote", p); }
    bool interpretMIDINotes(const Params& p) override { return note("interpretMIDINotes", p); }
    Answer currentApplicationState() override { return answer("currentApplicationState", {}); }
    bool interpretRawData(const Params& p) override { return note("interpretRawData", p); }
    Answer currentApplicationStateForParams(const Params& p) override
    {
        if (!offerStateForParams)
            return std::nullopt;
        return answer("currentApplicationStateForParams", p);
    }

private:
    bool note(const char* op, const Params& p = {})
    {
        calls << QString::fromLatin1(op);
        params << p;
        return true;
    }
    Answer answer(const char* op, const Params& p)
    {
        note(op, p);
        return QVariant(QVariantMap{{QStringLiteral("op"), QString::fromLatin1(op)}});
    }
};
