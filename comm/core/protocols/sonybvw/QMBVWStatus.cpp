#include "comm/core/protocols/sonybvw/QMBVWStatus.h"

#include "comm/core/QMApplicationCommands.h"

namespace {

bool has(const QVariantMap& state, const char* key)
{
    return state.contains(QLatin1String(key));
}

bool winds(QMBVWMotion m)
{
    return m != QMBVWMotion::Stop && m != QMBVWMotion::Still && m != QMBVWMotion::Play;
}

} // namespace

QMBVWStatusBlock qmBVWStatusBlock(const QMBVWStatus& status)
{
    QMBVWStatusBlock block{};
    std::uint8_t transport = 0x80; // standby on: a server is always ready to play
    std::uint8_t mode = status.cueComplete ? 0x01 : 0;
    switch (status.motion) {
    case QMBVWMotion::Stop: transport |= 0x20; mode |= status.clipLoaded ? 0x80 : 0; break;
    case QMBVWMotion::Still: mode |= 0x02 | (status.clipLoaded ? 0x80 : 0); break;
    case QMBVWMotion::Play: transport |= 0x01; mode |= 0x80; break;
    case QMBVWMotion::FastForward: transport |= 0x04; break;
    case QMBVWMotion::Rewind: transport |= 0x08; mode |= 0x04; break;
    case QMBVWMotion::Var: mode |= 0x08; break;
    case QMBVWMotion::Jog: mode |= 0x10; break;
    case QMBVWMotion::Shuttle: mode |= 0x20; break;
    }
    if (status.reverse && winds(status.motion))
        mode |= 0x04;
    block[1] = transport;
    block[2] = mode;
    return block;
}

QMBVWMotion qmBVWMotion(const QVariantMap& state, std::optional<QMBVWMotion> commanded)
{
    if (has(state, QMApplicationStateClear))
        return commanded.value_or(QMBVWMotion::Stop);
    const bool winding = commanded && winds(*commanded);
    if (has(state, QMApplicationStatePlay))
        return winding ? *commanded : QMBVWMotion::Play;
    if (has(state, QMApplicationStateFastForward))
        return QMBVWMotion::FastForward;
    if (has(state, QMApplicationStateRewind))
        return QMBVWMotion::Rewind;
    if (has(state, QMApplicationStateStop) || commanded == QMBVWMotion::Stop)
        return QMBVWMotion::Stop;
    // Winding by stepping does not count as playing; a commanded play that is no longer
    // playing has ended or was paused.
    return winding ? *commanded : QMBVWMotion::Still;
}
