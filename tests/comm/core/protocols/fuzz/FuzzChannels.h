#pragma once
// One channel that answers every query with something to encode, and a module controller that
// reaches it, for the fuzz entry points. Logging is captured and dropped: bad input is logged
// on purpose.
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/protocols/deck/QMTimeCodeBVW.h"
#include "platform/foundation/Log.h"

#include <memory>

class FuzzChannels : public QMApplicationCommandInterpreting {
public:
    bool interpretTransportPlay(const Params&) override { return true; }
    bool interpretCueMedia(const Params&) override { return true; }
    Answer interpretGetCuedMedia(const Params&) override
    {
        return QVariant(QVariantMap{{QLatin1String(QMApplicationCommandGetCuedMediaParamMediaID), QString(300, u'\u00e9')},
                                    {QLatin1String(QMApplicationCommandGetCuedMediaParamCurrentTime), qmVariantFromTimeCode(QMTimeCode::timecodeWithFrames(99, 99, 99, 999))}});
    }
    Answer interpretListMedia(const Params&) override
    {
        return QVariant(QVariantMap{{QLatin1String(QMApplicationCommandListMediaParamMediaFiles), QStringList{QStringLiteral("a"), QString(90, u'b'), QString(3, u'\u00fc')}}});
    }
    Answer currentApplicationStateForParams(const Params&) override { return QVariant(QVariantMap{{QLatin1String(QMApplicationStatePlay), true}}); }
};

// Builds the parser on first use and keeps it for the whole run (one per Slot).
template <class Parser, int Slot = 0>
Parser& fuzzParser(std::uint64_t behavior = QMProtocolBehaviorDevice)
{
    static auto channels = std::make_shared<FuzzChannels>();
    static QMCommunicationModuleController controller;
    static std::shared_ptr<Parser> parser = [&] {
        controller.setCommandInterpreter(channels);
        auto p = std::make_shared<Parser>();
        p->setDelegate(&controller);
        p->setBehavior(behavior);
        return p;
    }();
    static platform::LogCapture quiet;
    quiet.clear();
    return *parser;
}
