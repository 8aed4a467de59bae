#pragma once
// A DMX parser on an Art-Net communicator, and a delegate that records the commands it gets.
#include "comm/core/QMApplicationCommands.h"
#include "comm/showcontrol/dmx/QMDMXArtnetHardwareCommunicator.h"
#include "comm/showcontrol/dmx/QMProtocolParserDMX.h"

#include <mutex>

namespace dmxtest {

class CommandRecorder : public QMProtocolParserDelegate {
public:
    QVariant executeApplicationCommand(const QString& command, const QVariantMap& params) override
    {
        std::lock_guard lock(mutex);
        ++count;
        lastCommand = command;
        lastParams = params;
        return {};
    }
    int commands()
    {
        std::lock_guard lock(mutex);
        return count;
    }
    // The slot changes of the last command, without the parser entry.
    QVariantMap lastChanges()
    {
        std::lock_guard lock(mutex);
        QVariantMap changes = lastParams;
        changes.remove(QLatin1String(QMApplicationCommandParser));
        return changes;
    }

    std::mutex mutex;
    int count = 0;
    QString lastCommand;
    QVariantMap lastParams;
};

struct DMXDevice {
    DMXDevice()
        : parser(std::make_shared<QMProtocolParserDMX>())
        , communicator(std::make_shared<QMDMXArtnetHardwareCommunicator>())
    {
        parser->setHardwareCommunicator(communicator);
        communicator->setParser(parser);
        parser->setDelegate(&recorder);
        parser->setBehavior(QMProtocolBehaviorDevice);
    }
    ~DMXDevice()
    {
        communicator->deactivate();
        parser->setDelegate(nullptr);
    }

    CommandRecorder recorder;
    std::shared_ptr<QMProtocolParserDMX> parser;
    std::shared_ptr<QMDMXArtnetHardwareCommunicator> communicator;
};

inline QVariantMap changes(std::initializer_list<std::pair<int, int>> slotValues)
{
    QVariantMap map;
    for (const auto& [slot, value] : slotValues)
        map.insert(QString::number(slot), value);
    return map;
}

} // namespace dmxtest
