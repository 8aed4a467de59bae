#include "tests/comm/core/protocols/deckfakes/DeckInterpreter.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/protocols/deck/QMTimeCodeBVW.h"

std::vector<DeckInterpreter::Call> DeckInterpreter::calls() const
{
    std::unique_lock lock(mutex_);
    return calls_;
}

void DeckInterpreter::clear()
{
    std::unique_lock lock(mutex_);
    calls_.clear();
}

DeckInterpreter::Call DeckInterpreter::last(const QString& op) const
{
    std::unique_lock lock(mutex_);
    for (auto it = calls_.rbegin(); it != calls_.rend(); ++it)
        if (it->op == op)
            return *it;
    return {};
}

int DeckInterpreter::count(const QString& op) const
{
    std::unique_lock lock(mutex_);
    int n = 0;
    for (const Call& c : calls_)
        n += c.op == op;
    return n;
}

bool DeckInterpreter::note(const char* op, const Params& p)
{
    std::unique_lock lock(mutex_);
    calls_.push_back({QString::fromLatin1(op), p});
    return true;
}

const DeckChannel* DeckInterpreter::channelFor(const Params& p) const
{
    const QString name = p.value(QLatin1String(QMApplicationCommandPortName)).toString();
    if (!name.isEmpty()) {
        const auto it = channelsByName.constFind(name);
        return it == channelsByName.constEnd() ? nullptr : &it.value();
    }
    const auto it = channels.constFind(p.value(QLatin1String(QMApplicationCommandPortNumber)).toLongLong());
    return it == channels.constEnd() ? nullptr : &it.value();
}

DeckInterpreter::Answer DeckInterpreter::interpretGetCuedMedia(const Params& p)
{
    note("getCued", p);
    const DeckChannel* channel = channelFor(p);
    QVariantMap answer;
    if (!channel)
        return QVariant(answer);
    const QString asked = p.value(QLatin1String(QMApplicationCommandGetCuedMediaParamMediaID)).toString();
    if (!asked.isEmpty()) {
        if (!channel->media.contains(asked.trimmed()))
            return QVariant();
        answer = p;
        answer.insert(QLatin1String(QMApplicationCommandGetCuedMediaParamDuration), qmVariantFromTimeCode(channel->duration));
        answer.insert(QLatin1String(QMApplicationCommandGetCuedMediaParamCurrentTime), qmVariantFromTimeCode(QMTimeCode::zeroTime()));
        return QVariant(answer);
    }
    if (!channel->cuedName.isEmpty())
        answer.insert(QLatin1String(QMApplicationCommandGetCuedMediaParamMediaID), channel->cuedName);
    answer.insert(QLatin1String(QMApplicationCommandGetCuedMediaParamDuration), qmVariantFromTimeCode(channel->duration));
    answer.insert(QLatin1String(QMApplicationCommandGetCuedMediaParamCurrentTime), qmVariantFromTimeCode(channel->currentTime));
    return QVariant(answer);
}

DeckInterpreter::Answer DeckInterpreter::interpretListMedia(const Params& p)
{
    note("list", p);
    const DeckChannel* channel = channelFor(p);
    return QVariant(QVariantMap{{QLatin1String(QMApplicationCommandListMediaParamMediaFiles), channel ? channel->media : QStringList()}});
}

DeckInterpreter::Answer DeckInterpreter::currentApplicationStateForParams(const Params& p)
{
    note("state", p);
    const DeckChannel* channel = channelFor(p);
    const QString key = channel ? channel->state : QString::fromLatin1(QMApplicationStateClear);
    QVariantMap state{{key, true}};
    if (channel && channel->cueing)
        state.insert(QLatin1String(QMApplicationStatePrerolling), true);
    return QVariant(state);
}
