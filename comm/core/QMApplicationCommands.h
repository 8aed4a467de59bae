#pragma once
// The one vocabulary by which every protocol parser hands decoded messages to the application:
// command names, parameter keys, answer keys, state keys and the keys of outgoing command
// descriptors. Each constant's text is its own name; the names are stored in saved files and
// compared by text, so they never change.
#include <QMetaType>
#include <QVariant>
#include <QVariantMap>

#define QM_VOCABULARY(name) inline constexpr char name[] = #name

// Keys that parsers add to every command / to commands that address a channel.
QM_VOCABULARY(QMApplicationCommandParser);
QM_VOCABULARY(QMApplicationCommandPortName);
QM_VOCABULARY(QMApplicationCommandPortNumber);

// Transport.
QM_VOCABULARY(QMApplicationCommandTransportPlay);
QM_VOCABULARY(QMApplicationCommandTransportStop);
QM_VOCABULARY(QMApplicationCommandTransportPause);
QM_VOCABULARY(QMApplicationCommandTransportRewind);
QM_VOCABULARY(QMApplicationCommandTransportFastForward);
QM_VOCABULARY(QMApplicationCommandTransportSeek);
QM_VOCABULARY(QMApplicationCommandTransportStep);
QM_VOCABULARY(QMApplicationCommandTransportTimecode);
// Cue.
QM_VOCABULARY(QMApplicationCommandCueMedia);
// Clear.
QM_VOCABULARY(QMApplicationCommandClearAll);
QM_VOCABULARY(QMApplicationCommandClearBackground);
QM_VOCABULARY(QMApplicationCommandClearSlide);
QM_VOCABULARY(QMApplicationCommandClearProps);
QM_VOCABULARY(QMApplicationCommandClearAudio);
QM_VOCABULARY(QMApplicationCommandClearLogo);
QM_VOCABULARY(QMApplicationCommandClearLiveVideo);
// Next and previous.
QM_VOCABULARY(QMApplicationCommandSlideNext);
QM_VOCABULARY(QMApplicationCommandSlidePrevious);
QM_VOCABULARY(QMApplicationCommandPlaylistItemNext);
QM_VOCABULARY(QMApplicationCommandPlaylistItemPrevious);
QM_VOCABULARY(QMApplicationCommandMediaNext);
QM_VOCABULARY(QMApplicationCommandMediaPrevious);
// Queries answered with a dictionary.
QM_VOCABULARY(QMApplicationCommandGetCuedMedia);
QM_VOCABULARY(QMApplicationCommandGetCuedPresentation);
QM_VOCABULARY(QMApplicationCommandGetCuedPlaylistItem);
QM_VOCABULARY(QMApplicationCommandGetCuedAudio);
QM_VOCABULARY(QMApplicationCommandListMedia);
QM_VOCABULARY(QMApplicationCommandListPresentation);
QM_VOCABULARY(QMApplicationCommandListPlaylist);
QM_VOCABULARY(QMApplicationCommandListAudio);
QM_VOCABULARY(QMApplicationCommandQueryMedia);
QM_VOCABULARY(QMApplicationCommandApplicationInfo);
QM_VOCABULARY(QMApplicationGetState);
// Input events.
QM_VOCABULARY(QMApplicationCommandDMXValuesChanged);
QM_VOCABULARY(QMApplicationCommandMIDINote);
QM_VOCABULARY(QMApplicationCommandMIDINotes);
QM_VOCABULARY(QMApplicationCommandRawData);
QM_VOCABULARY(QMApplicationCommandGPITrigger);

// Parameter keys of incoming commands.
QM_VOCABULARY(QMApplicationCommandTransportParameterSpeed);
QM_VOCABULARY(QMApplicationCommandTransportParameterDirection);
QM_VOCABULARY(QMApplicationCommandTransportParameterFrames);
QM_VOCABULARY(QMApplicationCommandTransportParameterTimecode);
QM_VOCABULARY(QMApplicationCommandCueMediaParamMediaID);
QM_VOCABULARY(QMApplicationCommandCueMediaParamIndex);
QM_VOCABULARY(QMApplicationCommandCueMediaParamSetPlayhead);
QM_VOCABULARY(QMApplicationCommandCueMediaParamInPoint);
QM_VOCABULARY(QMApplicationCommandCueMediaParamDuration);
QM_VOCABULARY(QMApplicationCommandGPIParameterInputNumber);
QM_VOCABULARY(QMApplicationCommandGPIParameterState);
QM_VOCABULARY(QMApplicationCommandRawDataParamData);

// Answer keys.
QM_VOCABULARY(QMApplicationCommandGetCuedMediaParamMediaID);
QM_VOCABULARY(QMApplicationCommandGetCuedMediaParamDuration);
QM_VOCABULARY(QMApplicationCommandGetCuedMediaParamCurrentTime);
QM_VOCABULARY(QMApplicationCommandGetCuedMediaParamRemaining);
QM_VOCABULARY(QMApplicationCommandListMediaParamMediaFiles);
QM_VOCABULARY(QMApplicationCommandQueryMediaArray);
QM_VOCABULARY(QMApplicationCommandQueryMediaSerialNumber);
QM_VOCABULARY(QMApplicationCommandQueryMediaFileName);
QM_VOCABULARY(QMApplicationCommandQueryMediaDateModified);
QM_VOCABULARY(QMApplicationCommandQueryMediaSize);
QM_VOCABULARY(QMApplicationCommandQueryMediaDuration);
QM_VOCABULARY(QMApplicationCommandQueryMediaThumbnail);

// State keys (each present key holds true).
QM_VOCABULARY(QMApplicationStatePlay);
QM_VOCABULARY(QMApplicationStateStill);
QM_VOCABULARY(QMApplicationStateClear);
QM_VOCABULARY(QMApplicationStateStop);
QM_VOCABULARY(QMApplicationStateRewind);
QM_VOCABULARY(QMApplicationStateFastForward);
QM_VOCABULARY(QMApplicationStatePrerolling);

// Outgoing protocol command descriptors.
QM_VOCABULARY(QMProtocolCommandKeyIndex);
QM_VOCABULARY(QMProtocolCommandKeyDisplayName);
QM_VOCABULARY(QMProtocolCommandKeyDescription);
QM_VOCABULARY(QMProtocolCommandKeyFormat);
QM_VOCABULARY(QMProtocolCommandKeyParams);
QM_VOCABULARY(QMProtocolCommandKeySplitDelimiter);
QM_VOCABULARY(QMProtocolCommandKeyBreakIndexes);
QM_VOCABULARY(QMProtocolCommandKeyBreakDuration);
QM_VOCABULARY(QMProtocolCommandKeyParamName);
QM_VOCABULARY(QMProtocolCommandKeyParamReplaceRange);
QM_VOCABULARY(QMProtocolCommandKeyParamPossibleValues);
QM_VOCABULARY(QMProtocolCommandKeyParamValue);
QM_VOCABULARY(QMProtocolCommandKeyParamParseBeforeSplitting);
QM_VOCABULARY(QMProtocolCommandDMXChannel);
QM_VOCABULARY(QMProtocolCommandDMXValue);
QM_VOCABULARY(QMProtocolCommandDMXChannelArray);

#undef QM_VOCABULARY

// The split delimiter that command descriptors carry.
inline constexpr char QMProtocolCommandSplitDelimiterText[] = "|";

// A descriptor's replace range: a location and a length in the template.
struct QMRange {
    qsizetype location = 0;
    qsizetype length = 0;
    bool operator==(const QMRange&) const = default;
};
Q_DECLARE_METATYPE(QMRange)

// Substitutes the parameters of a descriptor into its template, in array order; each range is
// shifted by what the replacements before it added or removed. Parameters without a value are
// skipped; a range that falls outside the text is skipped too.
QString qmSubstituteDescriptorParams(const QString& format, const QVariantList& params);
