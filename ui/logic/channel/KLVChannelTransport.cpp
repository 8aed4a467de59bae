#include "ui/logic/channel/KLVChannelTransport.h"

#include "app/defaults/KLVDefaultsKeys.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "app/moviecontroller/KLVPlaybackEngine.h"
#include "app/ports/KLVTimerSource.h"
#include "app/util/KLVUtilities.h"
#include "app/util/QMTimeCodeConversions.h"
#include "comm/timecode/QMFrameSplit.h"
#include "engine/decoder/ssMediaDecoder3.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelControllerDelegate.h"
#include "ui/logic/channel/KLVChannelImport.h"
#include "ui/logic/channel/KLVChannelLoadedCue.h"
#include "ui/logic/channel/KLVChannelNextCue.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelTableEdits.h"

#include <QPointer>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <future>

namespace {
platform::UserDefaults& defaults()
{
    return platform::UserDefaults::sharedDefaults();
}

void logLine(const QString& text)
{
    platform::log("com.quenmark.Kalvanto", "channel", platform::LogLevel::Info, text);
}

double cueOffset(const KLVChannelController& channel)
{
    const auto node = channel.currentPlaylistNode();
    return node ? node->offset() : 0.0;
}

} // namespace

KLVChannelTransport::KLVChannelTransport(KLVChannelController& channel)
    : channel_(channel), nextCue_(std::make_unique<KLVChannelNextCue>(channel)),
      loadedCue_(std::make_unique<KLVChannelLoadedCue>(channel))
{
}
KLVChannelTransport::~KLVChannelTransport() = default;

KLVPlaybackEngine* KLVChannelTransport::engine() const
{
    return channel_.movieController_ ? channel_.movie().movie() : nullptr;
}

bool KLVChannelTransport::takesPart(const KLVChannelController& slave)
{
    return slave.output().deviceEnabled() && slave.operationMode() == 0;
}

// --- loading ---

void KLVChannelTransport::loadNode(const NodePtr& node, bool allowSlate)
{
    KLVPlaybackEngine* e = engine();
    if (!e)
        return;
    KLVMovieController& movie = channel_.movie();
    channel_.setCurrentNode(nullptr);
    allowSlate = allowSlate && nextCueSlateAllowed_;
    if (KLVChannelNextCue::playable(node)) {
        movie.loadMovieForNode(node, allowSlate && showSlate_, true);
        if (showSlate_ && node->slate().isNull()) {
            QPointer<KLVChannelController> guard(&channel_);
            channel_.delegate().requestSlateForNode(node, [guard, node](const platform::Error&, const QVariant&) {
                // A cue loaded since has a slate of its own: this one is not put up for it.
                if (!guard || !guard->transport().showSlate() || guard->currentPlaylistNode() != node)
                    return;
                guard->movie().updateSlateImageForNode(node);
                logLine(QStringLiteral("Created image for a node: %1 (%2) that was missing it's slate")
                            .arg(node->plnName().value_or(QString()), node->UUID().value_or(QString())));
            });
        }
        const KLVChannelOutput& output = channel_.output();
        e->SetVolume(output.mute() ? 0.0f : 1.0f);
        e->SetAudioDelay(int32_t(channel_.channel()->audioDelay()));
        if (!output.isDVI())
            e->SetTimeCodeOutput(int32_t(output.selectedTimecodeTag()));
        if (KLVChannelController* master = channel_.linkedController())
            e->SetMaster(master->movie().movie(), node->offset());
    } else {
        // A stub loads as nothing; a missing file too, so that play cannot start the previous
        // cue again from where it ended.
        movie.loadMovieForNode(nullptr, false, true);
        if (node && !node->isStub())
            logLine(node->sourceFileProblem());
    }
    channel_.setCurrentNode(node);
    nextCue_->loaded();
}

bool KLVChannelTransport::hasTimeCode() const
{
    return channel_.movieController_ && channel_.movie().hasTimeCode();
}

// --- master transport ---

double KLVChannelTransport::offsetBelow(const KLVChannelController& slave) const
{
    // Each link's offset is its slave's against its own master.
    double offset = 0.0;
    qsizetype links = channel_.delegate().channelControllers().size();
    for (const KLVChannelController* c = &slave; c && c != &channel_ && links-- > 0; c = c->linkedController())
        offset += cueOffset(*c);
    return offset;
}

void KLVChannelTransport::sync()
{
    // Masters first, so a slave is compared with where its own master was just put.
    for (KLVChannelController* slave : channel_.linkedBelow()) {
        if (!takesPart(*slave))
            continue;
        KLVChannelController* master = slave->linkedController();
        if (KLVPlaybackEngine* se = slave->movie().movie(); se && master)
            se->SetMaster(master->movie().movie(), cueOffset(*slave));
        slave->movie().updateProgress();
    }
}

void KLVChannelTransport::playMaster(void*)
{
    masterPlayButtonOn_ = true;
    emit channel_.stateChanged();
    // Playing twice plays once. The latch counts only while the channel really plays: whatever
    // ended playback (a plain stop at sleep or a screen change, the end of a cue) cleared it.
    if (pendingMasterStart_ || (!channel_.controlButtonsEnabled() && channel_.isPlaying()))
        return;
    sync();
    startMasterWhenReady();
}

bool KLVChannelTransport::allReady() const
{
    // Engines without media have nothing to fill and are not waited for.
    const auto ready = [](KLVPlaybackEngine* e) { return !e || !e->IsFileOpen() || e->BuffersReady(); };
    for (KLVChannelController* slave : channel_.linkedBelow())
        if (takesPart(*slave) && !ready(slave->movie().movie()))
            return false;
    return ready(engine());
}

void KLVChannelTransport::startMasterWhenReady()
{
    pendingMasterStart_.reset();
    if (allReady()) {
        startMasterNow();
        return;
    }
    auto ticks = std::make_shared<int>(0);
    pendingMasterStart_ = channel_.delegate().timers().schedule(kStartWaitIntervalMs, true, [this, ticks] {
        if (allReady() || ++*ticks >= kStartWaitTicks) {
            pendingMasterStart_.reset();
            startMasterNow();
        }
    });
}

void KLVChannelTransport::startMasterNow()
{
    channel_.movie().play();
    channel_.setControlButtonsEnabled(false);
    const bool syncFlag = channel_.output().syncMode() != 0;
    for (KLVChannelController* slave : channel_.linkedBelow()) {
        if (!takesPart(*slave))
            continue;
        if (KLVPlaybackEngine* se = slave->movie().movie())
            se->SetSyncMode(syncFlag ? 1 : 0);
        slave->movie().play();
        slave->setControlButtonsEnabled(false);
    }
}

void KLVChannelTransport::markStopped()
{
    masterPlayButtonOn_ = false;
    channel_.setControlButtonsEnabled(true);
}

void KLVChannelTransport::stopMaster(void*)
{
    cancelPendingStarts();
    sync();
    channel_.movie().stop();
    markStopped();
    for (KLVChannelController* slave : channel_.linkedBelow()) {
        if (!takesPart(*slave))
            continue;
        slave->transport().cancelPendingStarts();
        slave->movie().stop();
        slave->transport().markStopped();
    }
}

void KLVChannelTransport::pauseMaster(void*)
{
    cancelPendingStarts();
    masterPlayButtonOn_ = false;
    channel_.movie().pause();
    for (KLVChannelController* slave : channel_.linkedBelow()) {
        if (takesPart(*slave))
            slave->movie().pause();
        slave->setControlButtonsEnabled(true);
    }
    channel_.setControlButtonsEnabled(true);
}

void KLVChannelTransport::seekMasterToTimeCode(const QMTimeCode& timeCode)
{
    KLVPlaybackEngine* e = engine();
    if (!e)
        return;
    // The master's movie marks it cueing until its engine stands at the target, worked out
    // where the engine runs: a cue still loading has its in point and rate once it has opened.
    // Each slave's own queue waits there for the same target, so a play asked for afterwards
    // still comes after the slave's seek.
    channel_.movie().seekToTimeCode(timeCode);
    auto target = std::make_shared<std::promise<double>>();
    const std::shared_future<double> reached = target->get_future().share();
    e->Enqueue([target, timeCode](KLVPlaybackEngine& me) {
        target->set_value(me.GetInPoint()
                          + QMTimeCodeConversions::secondsWithFrameRate(timeCode, float(framesPerSecond(me.GetFrameRate()))));
    });
    for (KLVChannelController* slave : channel_.linkedBelow()) {
        KLVPlaybackEngine* se = takesPart(*slave) ? slave->movie().movie() : nullptr;
        if (!se)
            continue;
        slave->movie().setIsPlaying(false);
        const double offset = offsetBelow(*slave);
        se->Enqueue([reached, offset](KLVPlaybackEngine& s) {
            try {
                s.Seek(reached.get() - offset, 1);
            } catch (const std::future_error&) {
                // The master's engine went before it got there.
            }
        });
    }
    sync();
}

void KLVChannelTransport::seekToSeconds(double seconds, int)
{
    channel_.movie().seekToSeconds(seconds, 1);
    for (KLVChannelController* slave : channel_.linkedBelow())
        if (takesPart(*slave))
            slave->movie().seekToSeconds(seconds - offsetBelow(*slave), 1);
}

void KLVChannelTransport::rewindMaster()
{
    KLVPlaybackEngine* e = engine();
    if (!e)
        return;
    channel_.movie().goToBeginning();
    // Where goToBeginning seeks to (the seek itself may still be under way).
    const double t = std::max(0.0, e->GetInPoint());
    for (KLVChannelController* slave : channel_.linkedBelow())
        if (takesPart(*slave))
            slave->movie().seekToSeconds(t - offsetBelow(*slave), 0);
    channel_.setControlButtonsEnabled(true);
}

void KLVChannelTransport::pauseForSeek()
{
    KLVMovieController& movie = channel_.movie();
    if (movie.isPlaying())
        movie.setDidPauseForSeek(true);
    movie.pause();
    for (KLVChannelController* slave : channel_.linkedControllers())
        if (slave->operationMode() == 0)
            slave->pauseForSeek();
}

void KLVChannelTransport::playFromSeek()
{
    KLVMovieController& movie = channel_.movie();
    if (!movie.didPauseForSeek())
        return;
    movie.setDidPauseForSeek(false);
    startMasterWhenReady();
}

void KLVChannelTransport::playWhenBuffersReady()
{
    pendingStart_.reset();
    if (!engine())
        return;
    auto ticks = std::make_shared<int>(0);
    pendingStart_ = channel_.delegate().timers().schedule(kStartWaitIntervalMs, true, [this, ticks] {
        KLVPlaybackEngine* e = engine();
        if (!e || !e->IsFileOpen()) {
            pendingStart_.reset();
            return;
        }
        if (e->BuffersReady() || ++*ticks >= kStartWaitTicks) {
            pendingStart_.reset();
            channel_.movie().play();
        }
    });
}

void KLVChannelTransport::cancelPendingStarts()
{
    pendingMasterStart_.reset();
    pendingStart_.reset();
}

// --- end of clip ---

void KLVChannelTransport::endpointReached()
{
    if (const NodePtr next = nextCue_->takeHandedOver()) {
        adoptHandedOver(next);
        return;
    }
    const NodePtr node = channel_.currentPlaylistNode();
    if (!node)
        return;
    // A cue deleted while it played has had its last play: it never loops.
    const bool removed = loadedCue_->removed();
    long behaviour = long(node->playbackBehavior());
    if (removed && behaviour == 1)
        behaviour = 0;
    const bool isSlave = channel_.linkedController() != nullptr;
    const bool isMaster = channel_.isMaster();
    if (behaviour == 0) {
        // The engine has stopped at the out point.
        channel_.movie().updateProgress();
        channel_.movie().setIsPlaying(false);
        markStopped();
    }
    if (isMaster && behaviour == 1) {
        KLVPlaybackEngine* e = engine();
        const double t = e ? e->GetInPoint() : 0;
        for (KLVChannelController* slave : channel_.linkedBelow()) {
            if (!takesPart(*slave) || slave->transport().loadedCue().removed())
                continue;
            if (KLVPlaybackEngine* se = slave->movie().movie(); se && se->PassesSeamsWithMaster())
                continue;
            slave->movie().seekToSeconds(t - offsetBelow(*slave), 0);
            slave->movie().play();
        }
    } else if (isMaster && behaviour == 0) {
        if (defaults().boolForKey(QString::fromLatin1(KLVDefaultsKeys::kLinkedChannelAdhereToMasterOutpoint)))
            for (KLVChannelController* slave : channel_.linkedBelow())
                if (takesPart(*slave))
                    slave->movie().pause();
    }
    if (!isSlave && behaviour == 2)
        triggerNextNode(false);
    if (removed && channel_.currentPlaylistNode() == node)
        loadNode(nullptr, false);
}

void KLVChannelTransport::triggerNextNode(bool allowSlate)
{
    const auto items = channel_.channel()->playlistItems();
    const long count = long(items.size());
    if (count == 0)
        return;
    // Cues whose file is gone are passed over; with none left to play the channel stops rather
    // than replaying what it just played.
    const long next = KLVChannelNextCue::followingIndex(items, loadedCue_->followingStart(items));
    if (next < 0) {
        if (channel_.isMaster())
            stopMaster(nullptr);
        else {
            channel_.movie().stop();
            markStopped();
        }
        return;
    }
    KLVPlaybackEngine* e = engine();
    if (e)
        e->SetShowSlate(0);
    const NodePtr node = items[size_t(next)];
    nextCueSlateAllowed_ = allowSlate;
    channel_.import().selectPlaylistItemAtIndex(next);
    nextCueSlateAllowed_ = true;
    // The table loads what it selects when the channel has an output; the next cue plays either way.
    if (channel_.currentPlaylistNode() != node)
        loadNode(node, allowSlate);
    if (channel_.isMaster()) {
        channel_.setControlButtonsEnabled(true);
        playMaster(&channel_);
    } else {
        channel_.movie().executeCommand(4);
    }
    if (e)
        e->SetShowSlate(showSlate_ ? 1 : 0);
}

void KLVChannelTransport::refreshNextCue()
{
    nextCue_->refresh();
}

void KLVChannelTransport::adoptHandedOver(const NodePtr& node)
{
    const auto items = channel_.channel()->playlistItems();
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == node)
            channel_.table().selectRows({long(i)});
    channel_.setCurrentNode(node);
    channel_.movie().adoptHandedOverCue(node);
    nextCue_->refresh();
}

// --- buttons ---

void KLVChannelTransport::rewind() { channel_.movie().rewind(); }
void KLVChannelTransport::fastForward() { channel_.movie().fastForward(); }
void KLVChannelTransport::resumePlayRate() { channel_.movie().resumePlayRate(); }
void KLVChannelTransport::deckControl(long code) { channel_.movie().executeCommand(code); }

// --- offsets ---

void KLVChannelTransport::updateOffset(long tag)
{
    const NodePtr node = channel_.currentPlaylistNode();
    if (!node)
        return;
    const double frame = 1.0 / framesPerSecond(node->fps());
    node->setOffset(node->offset() + (tag != 0 ? -frame : frame));
    if (KLVChannelController* master = channel_.linkedController())
        master->transport().sync();
}

double KLVChannelTransport::offsetFromText(const QString& text, double fps)
{
    static const QRegularExpression punctuation(QStringLiteral("[[:punct:]]"));
    const QStringList parts = text.trimmed().split(punctuation);
    const float frameDivisor = float(std::ceil(framesPerSecond(fps)));
    float sum = 0;
    float scale = 1;
    for (qsizetype k = parts.size() - 1, fromEnd = 0; k >= 0; --k, ++fromEnd) {
        const float value = float(parts.at(k).trimmed().toLongLong());
        if (fromEnd == 0) {
            sum += value / frameDivisor;
            continue;
        }
        if (fromEnd > 1)
            scale *= 60;
        sum += value * scale;
    }
    return text.trimmed().startsWith(QLatin1Char('-')) ? -sum : sum;
}

void KLVChannelTransport::setOffsetString(const QString& text)
{
    const NodePtr node = channel_.currentPlaylistNode();
    if (!node)
        return;
    node->setOffset(offsetFromText(text, node->fps()));
    if (KLVChannelController* master = channel_.linkedController())
        master->transport().sync();
}

void KLVChannelTransport::setOffsetFromPositions()
{
    const NodePtr node = channel_.currentPlaylistNode();
    KLVChannelController* master = channel_.linkedController();
    KLVPlaybackEngine* e = engine();
    KLVPlaybackEngine* me = master ? master->movie().movie() : nullptr;
    if (node && e && me)
        node->setOffset(me->GetCurrentTime() - e->GetCurrentTime());
}

// --- options ---

void KLVChannelTransport::updateAudioDelay()
{
    if (KLVPlaybackEngine* e = engine())
        e->SetAudioDelay(int32_t(channel_.channel()->audioDelay()));
}

void KLVChannelTransport::setAnamorphicPlaybackBehavior(bool checkboxOn)
{
    if (KLVPlaybackEngine* e = engine())
        e->SetAnamorphic(checkboxOn ? 0 : 1);
}

void KLVChannelTransport::setShowSlate(bool show)
{
    showSlate_ = show;
    if (KLVPlaybackEngine* e = engine())
        e->SetShowSlate(show ? 1 : 0);
    defaults().setBool(show, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kShowSlate, channel_.tag()));
    emit channel_.stateChanged();
}

void KLVChannelTransport::setMutePreview(bool mute)
{
    mutePreview_ = mute;
    if (const auto& monitor = channel_.recordHooks().setAudioMonitor)
        monitor(!mute);
    defaults().setBool(mute, KLVDefaultsKeys::channelKey(KLVDefaultsKeys::kMutePreview, channel_.tag()));
    emit channel_.stateChanged();
}

// --- jump to time ---

QString KLVChannelTransport::jumpToTimeText() const
{
    // The field opens with the position in the file, the same kind of time it seeks to.
    KLVPlaybackEngine* e = engine();
    return e ? KLVUtilities::formatCurrentTime(e->GetCurrentTime(), framesPerSecond(e->GetFrameRate()))
             : KLVUtilities::formatCurrentTime(0, 30);
}

double KLVChannelTransport::secondsFromJumpText(const QString& text, double fps)
{
    static const QRegularExpression separators(QStringLiteral("[:;]"));
    const QStringList p = text.trimmed().split(separators);
    fps = framesPerSecond(fps);
    // Hours, minutes, seconds (a fraction stays on top) and frames of a time code, which names a
    // frame: 00:00:01;15 at 29.97 is frame 45.
    auto timeCode = [fps](double hours, double minutes, double seconds, double frames) {
        const double whole = std::floor(std::max(0.0, seconds));
        return qmSecondsOfTimeCode(std::uint64_t(std::max(0.0, hours)), std::uint64_t(std::max(0.0, minutes)),
                                   std::uint64_t(whole), frames, fps) +
               (std::max(0.0, seconds) - whole);
    };
    switch (p.size()) {
    case 2: return timeCode(0, 0, p[0].toDouble(), p[1].toDouble());
    case 3: return timeCode(double(p[0].toLongLong()), double(p[1].toLongLong()), p[2].toDouble(), 0);
    case 4: return timeCode(double(p[0].toLongLong()), double(p[1].toLongLong()), p[2].toDouble(), p[3].toDouble());
    default: return 0;
    }
}

void KLVChannelTransport::jumpToTime(const QString& text)
{
    KLVPlaybackEngine* e = engine();
    if (e)
        channel_.movie().seekToSeconds(secondsFromJumpText(text, e->GetFrameRate()), 1);
}

void KLVChannelTransport::drawPreview()
{
    channel_.drawPreview();
}
