// The interpreter half of the connection manager: channel routing and the operations the
// application carries out.
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommLog.h"
#include "comm/core/QMHardwareCommunicator.h"
#include "comm/core/app/KLVChannelProviding.h"
#include "comm/showcontrol/dmx/QMDMXArtnetHardwareCommunicator.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/UserDefaults.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

using Params = QMApplicationCommandInterpreting::Params;

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

// Runs fn on the main thread and answers its result. Channels, playlists and the device list
// belong to the main thread; a caller on another queue waits for it, and the main thread never
// waits for that queue. Without an application object there is no main thread to protect.
// When the application quits before the work could run, a query answers a null value.
template <class F>
auto onMain(F&& fn) -> decltype(fn())
{
    using Result = decltype(fn());
    if (!QCoreApplication::instance() || platform::isMainThread())
        return fn();
    if constexpr (std::is_void_v<Result>) {
        platform::dispatchMainSync(fn);
    } else {
        Result result{};
        platform::dispatchMainSync([&] { result = fn(); });
        return result;
    }
}

QVariant timeCodeValue(const QMTimeCode& timeCode)
{
    return QVariant::fromValue(timeCode);
}

} // namespace

QMCommModuleConnectionWrapper* QMCommModuleConnectionManager::sendingDevice(const Params& params) const
{
    const QMProtocolParser* parser = qmParserFromParams(params);
    return parser ? findWrapperWithParser(parser) : nullptr;
}

QMCommModuleConnectionManager::Route QMCommModuleConnectionManager::route(const Params& params) const
{
    if (!delegate_)
        return {};
    // A port number, whatever its value, means the port name is not read at all.
    int portNumber = 0;
    QString portName;
    if (params.contains(key(QMApplicationCommandPortNumber)))
        portNumber = params.value(key(QMApplicationCommandPortNumber)).toInt();
    else if (params.contains(key(QMApplicationCommandPortName)))
        portName = params.value(key(QMApplicationCommandPortName)).toString();

    if (!portName.isNull()) {
        const QList<KLVChannelControlling*> channels = delegate_->channelControllers();
        for (KLVChannelControlling* channel : channels) {
            // A channel without a name is never the one an empty port name asks for.
            if (channel && !channel->channelName().isEmpty() && channel->channelName() == portName)
                return {true, channel};
        }
        qmcomm::log(QStringLiteral("Failed to find channel match for \"%1\". Please rename the desired channel name to this value.").arg(portName));
    }
    // The device's configured channel wins over a port number carried in the command.
    if (const QMCommModuleConnectionWrapper* device = sendingDevice(params); device && device->klvChannelIndex() > 0)
        return {true, delegate_->channelControllerForTag(device->klvChannelIndex())};
    if (portNumber != 0)
        return {true, delegate_->channelControllerForTag(portNumber)};
    return {};
}

KLVChannelControlling* QMCommModuleConnectionManager::channelControllerForParams(const Params& params) const
{
    return route(params).channel;
}

KLVMovieDelegate* QMCommModuleConnectionManager::movieControllerForParams(const Params& params) const
{
    return target(route(params));
}

KLVMovieDelegate* QMCommModuleConnectionManager::target(const Route& r) const
{
    if (r.channel)
        return r.channel->movieController();
    // A tag without a channel addresses nothing rather than everything.
    if (r.addressed || !delegate_)
        return nullptr;
    return &delegate_->allChannelsMovieDelegate();
}

void QMCommModuleConnectionManager::transport(const Params& params, void (KLVChannelControlling::*master)(void*),
                                              void (KLVMovieDelegate::*single)(), bool play)
{
    const Route r = route(params);
    if (KLVChannelControlling* channel = r.channel) {
        if (channel->isMaster()) {
            (channel->*master)(nullptr);
        } else if (KLVMovieDelegate* movie = channel->movieController()) {
            (movie->*single)();
        }
        return;
    }
    KLVMovieDelegate* all = target(r);
    if (!all)
        return;
    if (play && params.contains(key(QMApplicationCommandTransportParameterSpeed)))
        all->playAtRate(params.value(key(QMApplicationCommandTransportParameterSpeed)).toFloat());
    else
        (all->*single)();
}

void QMCommModuleConnectionManager::onTarget(const Params& params, void (KLVMovieDelegate::*operation)())
{
    if (KLVMovieDelegate* target = movieControllerForParams(params))
        (target->*operation)();
}

bool QMCommModuleConnectionManager::ignore(IgnoredKind kind, const char* command, const Params& params)
{
    // Once per kind: consoles send these many times a second.
    const auto bit = static_cast<unsigned>(kind);
    if (!(loggedIgnoredKinds_.fetch_or(bit) & bit)) {
        const QString from = onMain([&] {
            const QMCommModuleConnectionWrapper* device = sendingDevice(params);
            return device ? QStringLiteral(" from \"%1\"").arg(device->deviceLabel()) : QString();
        });
        qmcomm::log(QStringLiteral("Received %1%2; it is not carried out (further ones are not logged)")
                        .arg(QLatin1String(command), from),
                    platform::LogLevel::Info);
    }
    return false;
}

bool QMCommModuleConnectionManager::interpretDMXValuesChanged(const Params& params)
{
    return ignore(IgnoredKind::DMX, QMApplicationCommandDMXValuesChanged, params);
}

bool QMCommModuleConnectionManager::interpretMIDINote(const Params& params)
{
    return ignore(IgnoredKind::MIDINote, QMApplicationCommandMIDINote, params);
}

bool QMCommModuleConnectionManager::interpretMIDINotes(const Params& params)
{
    return ignore(IgnoredKind::MIDINotes, QMApplicationCommandMIDINotes, params);
}

bool QMCommModuleConnectionManager::interpretTransportPlay(const Params& params)
{
    onMain([&] { transport(params, &KLVChannelControlling::playMaster, &KLVMovieDelegate::play, true); });
    return true;
}

bool QMCommModuleConnectionManager::interpretTransportStop(const Params& params)
{
    onMain([&] { transport(params, &KLVChannelControlling::stopMaster, &KLVMovieDelegate::stop, false); });
    return true;
}

bool QMCommModuleConnectionManager::interpretTransportPause(const Params& params)
{
    onMain([&] { transport(params, &KLVChannelControlling::pauseMaster, &KLVMovieDelegate::pause, false); });
    return true;
}

// Rewind and fast forward with a speed. A speed that comes with its direction is a jog, shuttle
// or variable-speed request and plays at exactly that speed (the movie controller plays, pauses or
// steps by the rate); a bare speed asks for fast search, at no less than 5x. Rewind's rate is
// negative, which the movie controller plays in reverse.
void QMCommModuleConnectionManager::shuttle(const Params& params, float direction, void (KLVMovieDelegate::*plain)())
{
    KLVMovieDelegate* target = movieControllerForParams(params);
    if (!target)
        return;
    if (params.contains(key(QMApplicationCommandTransportParameterSpeed))) {
        const double speed = std::abs(params.value(key(QMApplicationCommandTransportParameterSpeed)).toDouble());
        const bool search = !params.contains(key(QMApplicationCommandTransportParameterDirection));
        target->playAtRate(direction * float(search ? std::max(speed, 5.0) : speed));
    } else {
        (target->*plain)();
    }
}

bool QMCommModuleConnectionManager::interpretTransportRewind(const Params& params)
{
    onMain([&] { shuttle(params, -1.0f, &KLVMovieDelegate::rewind); });
    return true;
}

bool QMCommModuleConnectionManager::interpretTransportFastForward(const Params& params)
{
    onMain([&] { shuttle(params, 1.0f, &KLVMovieDelegate::fastForward); });
    return true;
}

bool QMCommModuleConnectionManager::interpretTransportStep(const Params& params)
{
    onMain([&] {
        const int direction = params.value(key(QMApplicationCommandTransportParameterDirection)).toInt();
        if (direction == 1)
            onTarget(params, &KLVMovieDelegate::stepForward);
        else if (direction == -1)
            onTarget(params, &KLVMovieDelegate::stepBackward);
    });
    return true;
}

void QMCommModuleConnectionManager::interpretTransportGotoBeginning(const Params& params)
{
    onMain([&] { onTarget(params, &KLVMovieDelegate::goToBeginning); });
}

void QMCommModuleConnectionManager::interpretTransportGotoEnd(const Params& params)
{
    onMain([&] { onTarget(params, &KLVMovieDelegate::goToEnd); });
}

bool QMCommModuleConnectionManager::interpretCueMedia(const Params& params)
{
    onMain([&] { cueMedia(params); });
    return true;
}

void QMCommModuleConnectionManager::cueMedia(const Params& params)
{
    KLVChannelControlling* channel = channelControllerForParams(params);
    if (!channel)
        return;
    KLVMovieControlling* movie = channel->movieController();
    const QVariant mediaID = params.value(key(QMApplicationCommandCueMediaParamMediaID));
    const QVariant index = params.value(key(QMApplicationCommandCueMediaParamIndex));
    const QVariant playhead = params.value(key(QMApplicationCommandCueMediaParamSetPlayhead));
    const QVariant inPoint = params.value(key(QMApplicationCommandCueMediaParamInPoint));
    const QVariant duration = params.value(key(QMApplicationCommandCueMediaParamDuration));

    if (mediaID.isValid()) {
        const QString name = mediaID.toString();
        const KLVChannelPlaylist* playlist = channel->channelData();
        const QList<std::shared_ptr<KLVPlaylistItem>> items = playlist ? playlist->playlistItems() : QList<std::shared_ptr<KLVPlaylistItem>>();
        const auto found = std::find_if(items.cbegin(), items.cend(), [&](const auto& item) { return item && item->plnName() == name; });
        // A name the channel does not have cues nothing: the clip on air keeps its place.
        if (found == items.cend()) {
            qmcomm::log(QStringLiteral("no item named \"%1\" to cue").arg(name));
            return;
        }
        if (*found != channel->currentNode())
            channel->selectPlaylistItemAtIndex(long(found - items.cbegin()));
    } else if (index.isValid() && index.toLongLong() != channel->selectedIndex()) {
        channel->selectPlaylistItemAtIndex(long(index.toLongLong()));
    }

    if (movie && inPoint.canConvert<QMTimeCode>() && duration.canConvert<QMTimeCode>() && inPoint.isValid() && duration.isValid()) {
        movie->setInPoint(inPoint.value<QMTimeCode>());
        movie->setOutPointAsDurationFromInPoint(duration.value<QMTimeCode>());
    } else if (movie && (mediaID.isValid() || index.isValid())) {
        // A cue without a range plays the cue's own, whatever an earlier cue with data set.
        movie->restoreCueRange();
    }
    if (playhead.isValid() && playhead.canConvert<QMTimeCode>()) {
        if (channel->isMaster()) {
            channel->pauseMaster(nullptr);
            channel->seekMasterToTimeCode(playhead.value<QMTimeCode>());
        } else if (movie) {
            movie->pause();
            movie->seekToTimeCode(playhead.value<QMTimeCode>());
        }
    }
    if (movie)
        movie->updateTimeCode();
    channel->scrollToSelection();
}

QMApplicationCommandInterpreting::Answer QMCommModuleConnectionManager::interpretGetCuedMedia(const Params& params)
{
    return onMain([&] {
        bool answered = false;
        const QVariantMap answer = cuedMedia(params, &answered);
        return answered ? QVariant(answer) : QVariant();
    });
}

QVariantMap QMCommModuleConnectionManager::cuedMedia(const Params& params, bool* answered) const
{
    *answered = false;
    KLVChannelControlling* channel = channelControllerForParams(params);
    if (params.contains(key(QMApplicationCommandGetCuedMediaParamMediaID))) {
        // An inquiry about a named item, which need not be the loaded one.
        const QString name = params.value(key(QMApplicationCommandGetCuedMediaParamMediaID)).toString().trimmed();
        const std::shared_ptr<KLVPlaylistItem> item = channel ? channel->nodeWithName(name) : nullptr;
        if (!item)
            return {};
        const QMTimeCode duration = item->durationTimeCode();
        QVariantMap answer = params;
        answer.insert(key(QMApplicationCommandGetCuedMediaParamDuration), timeCodeValue(duration));
        answer.insert(key(QMApplicationCommandGetCuedMediaParamRemaining), timeCodeValue(duration));
        answer.insert(key(QMApplicationCommandGetCuedMediaParamCurrentTime), timeCodeValue(QMTimeCode::zeroTime()));
        *answered = true;
        return answer;
    }
    QVariantMap answer;
    *answered = true;
    if (!channel)
        return answer;
    if (const std::shared_ptr<KLVPlaylistItem> node = channel->currentNode()) {
        answer.insert(key(QMApplicationCommandGetCuedMediaParamMediaID), node->plnName());
        answer.insert(key(QMApplicationCommandGetCuedMediaParamDuration), timeCodeValue(node->durationTimeCode()));
    }
    if (const KLVMovieControlling* movie = channel->movieController()) {
        answer.insert(key(QMApplicationCommandGetCuedMediaParamCurrentTime), timeCodeValue(movie->currentTime()));
        answer.insert(key(QMApplicationCommandGetCuedMediaParamRemaining), timeCodeValue(movie->remainingTime()));
    }
    return answer;
}

QMApplicationCommandInterpreting::Answer QMCommModuleConnectionManager::interpretListMedia(const Params& params)
{
    return onMain([&] { return QVariant(listMedia(params)); });
}

QVariantMap QMCommModuleConnectionManager::listMedia(const Params& params) const
{
    QStringList names;
    KLVChannelControlling* channel = channelControllerForParams(params);
    const KLVChannelPlaylist* playlist = channel ? channel->channelData() : nullptr;
    if (playlist) {
        const platform::UserDefaults& defaults = platform::UserDefaults::sharedDefaults();
        for (const std::shared_ptr<KLVPlaylistItem>& item : playlist->playlistItems()) {
            QString name = item ? item->plnName() : QString();
            if (defaults.boolForKey(key(QMCommModuleUse8CharNames)))
                name.truncate(8);
            names.append(name);
        }
    }
    return {{key(QMApplicationCommandListMediaParamMediaFiles), names}};
}

QMApplicationCommandInterpreting::Answer QMCommModuleConnectionManager::currentApplicationState()
{
    return currentApplicationStateForParams({});
}

QMApplicationCommandInterpreting::Answer QMCommModuleConnectionManager::currentApplicationStateForParams(const Params& params)
{
    return onMain([&] { return QVariant(stateForParams(params)); });
}

QVariantMap QMCommModuleConnectionManager::stateForParams(const Params& params) const
{
    KLVChannelControlling* channel = channelControllerForParams(params);
    if (const KLVMovieControlling* movie = channel ? channel->movieController() : nullptr) {
        QVariantMap state{{key(movie->isPlaying() ? QMApplicationStatePlay : QMApplicationStateStill), true}};
        // A cue is acknowledged once the channel has taken it; until it has loaded, the state
        // says so and deck controllers poll for cue-done.
        if (movie->isCueing())
            state.insert(key(QMApplicationStatePrerolling), true);
        return state;
    }
    return {{key(QMApplicationStateClear), true}};
}

QMApplicationCommandInterpreting::Answer QMCommModuleConnectionManager::interpretApplicationInfo(const Params&)
{
    return onMain([&] { return QVariant(applicationInfo()); });
}

QVariantMap QMCommModuleConnectionManager::applicationInfo() const
{
    platform::UserDefaults& defaults = platform::UserDefaults::sharedDefaults();
    QString uuid = defaults.stringForKey(key(QMAppUUIDKey));
    if (uuid.isEmpty()) {
        uuid = QMCommModuleConnectionWrapper::newDeviceID();
        defaults.setObject(uuid, key(QMAppUUIDKey));
    }
    const QString dmx = artNetAddress();
    const QVariantMap layer{
        {QStringLiteral("layerName"), QStringLiteral("main")},
        {QStringLiteral("layerType"), QStringLiteral("media")},
        {QStringLiteral("layerDMXString"), dmx},
    };
    return {
        {QStringLiteral("appName"), QFileInfo(QCoreApplication::applicationFilePath()).fileName()},
        {QStringLiteral("version"), QCoreApplication::applicationVersion()},
        {QStringLiteral("uuid"), uuid},
        {QStringLiteral("layers"), QVariantList{layer}},
    };
}

QString QMCommModuleConnectionManager::artNetAddress() const
{
    for (const QMCommModuleConnectionWrapper* device : wrappers_.arrangedObjects()) {
        const auto communicator = device->parser() ? device->parser()->hardwareCommunicator() : nullptr;
        if (!communicator || communicator->communicatorType() != QMCommunicatorTypeDMX)
            continue;
        if (const auto* artNet = dynamic_cast<const QMDMXArtnetHardwareCommunicator*>(communicator.get())) {
            // Consoles read ArtNet/<net>/<universe>/<channel>: the universe counted within its
            // net (sub-net and universe, the low byte of the port address the device listens
            // to) and the channel from 1, where the base address (a 0-based slot) puts it.
            const auto set = [](std::int64_t value) { return std::max<std::int64_t>(value, 0); };
            const std::int64_t port = (set(artNet->netNum()) * 256 + set(artNet->subnetNum()) * 16 + set(artNet->universeNum())) & 0xFFFF;
            const std::int64_t base = platform::UserDefaults::sharedDefaults().integerForKey(key(QMDMXBaseAddress));
            const std::int64_t channel = std::clamp<std::int64_t>(base, 0, 511) + 1;
            return QStringLiteral("ArtNet/%1/%2/%3").arg((port >> 8) & 0x7F).arg(port & 0xFF).arg(channel);
        }
    }
    return {};
}
