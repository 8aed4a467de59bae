#pragma once
// The application's side of the command vocabulary. Every operation is optional: the defaults
// answer "not offered" (false, or std::nullopt for the operations that answer a dictionary), and
// the module controller logs such a command and answers nothing. An implementation returns true
// (or a value, possibly a null QVariant for "no answer") for what it carries out.
#include <QVariant>
#include <QVariantMap>

#include <optional>

class QMApplicationCommandInterpreting {
public:
    using Params = QVariantMap;
    using Answer = std::optional<QVariant>;

    virtual ~QMApplicationCommandInterpreting() = default;

    virtual Answer interpretApplicationInfo(const Params&) { return std::nullopt; }
    virtual bool interpretTransportStop(const Params&) { return false; }
    virtual bool interpretTransportPlay(const Params&) { return false; }
    virtual bool interpretTransportPause(const Params&) { return false; }
    virtual bool interpretTransportRewind(const Params&) { return false; }
    virtual bool interpretTransportFastForward(const Params&) { return false; }
    virtual bool interpretTransportSeek(const Params&) { return false; }
    virtual bool interpretTransportStep(const Params&) { return false; }
    virtual bool interpretTransportTimecode(const Params&) { return false; }
    virtual bool interpretCueMedia(const Params&) { return false; }
    virtual bool interpretCuePresentation(const Params&) { return false; }
    virtual bool interpretCuePlaylistItem(const Params&) { return false; }
    virtual bool interpretCueAudio(const Params&) { return false; }
    virtual bool interpretClearAll() { return false; }
    virtual bool interpretClearBackground() { return false; }
    virtual bool interpretClearSlide() { return false; }
    virtual bool interpretClearProps() { return false; }
    virtual bool interpretClearAudio() { return false; }
    virtual bool interpretClearLogo() { return false; }
    virtual bool interpretTimelinePlay() { return false; }
    virtual bool interpretTimelinePause() { return false; }
    virtual bool interpretTimelineReset() { return false; }
    virtual bool interpretSlideNext() { return false; }
    virtual bool interpretSlidePrevious() { return false; }
    virtual bool interpretPlaylistItemNext() { return false; }
    virtual bool interpretPlaylistItemPrevious() { return false; }
    virtual bool interpretMediaNext() { return false; }
    virtual bool interpretMediaPrevious() { return false; }
    virtual Answer interpretGetCuedMedia(const Params&) { return std::nullopt; }
    virtual Answer interpretGetCuedPresentation(const Params&) { return std::nullopt; }
    virtual Answer interpretGetCuedPlaylistItem(const Params&) { return std::nullopt; }
    virtual Answer interpretGetCuedAudio(const Params&) { return std::nullopt; }
    virtual Answer interpretListMedia(const Params&) { return std::nullopt; }
    virtual Answer interpretListPresentation(const Params&) { return std::nullopt; }
    virtual Answer interpretListPlaylistItem(const Params&) { return std::nullopt; }
    virtual Answer interpretListAudio(const Params&) { return std::nullopt; }
    virtual Answer interpretQueryMedia(const Params&) { return std::nullopt; }
    virtual bool interpretDMXValuesChanged(const Params&) { return false; }
    virtual bool interpretMIDINote(const Params&) { return false; }
    virtual bool interpretMIDINotes(const Params&) { return false; }
    // The whole application's state (keyed by the QMApplicationState... keys).
    virtual Answer currentApplicationState() { return std::nullopt; }
    virtual bool interpretRawData(const Params&) { return false; }

    // Beside the protocol: the state of the channel the parameters address. Preferred by the
    // module controller when offered.
    virtual Answer currentApplicationStateForParams(const Params&) { return std::nullopt; }
};
