#pragma once
// A VDCP server on loopback TCP in this process: the module controller and the application's
// command interpreter over four fake channels. Shared by the benchmarks that compare against it.
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "comm/core/QMNetworkHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/protocols/vdcp/QMProtocolParserVDCP.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/comm/core/fakes/FakeChannels.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

namespace vdcpbench {

inline QByteArray frame(std::uint8_t cmd1, std::uint8_t cmd2, const QByteArray& data = {})
{
    QByteArray body;
    body.append(char(cmd1)).append(char(cmd2)).append(data);
    std::uint8_t sum = 0;
    for (const char b : body)
        sum = std::uint8_t(sum + std::uint8_t(b));
    return QByteArray(1, 0x02) + QByteArray(1, char(body.size())) + body + QByteArray(1, char(std::uint8_t(0x100 - sum)));
}

struct Server {
    QTemporaryDir folder;
    FakeChannelProvider channels{4};
    QMCommunicationModuleController controller;
    std::shared_ptr<QMCommModuleConnectionManager> manager;
    std::shared_ptr<QMProtocolParserVDCP> parser = std::make_shared<QMProtocolParserVDCP>();
    std::shared_ptr<QMTCPNetworkHardwareCommunicator> tcp = std::make_shared<QMTCPNetworkHardwareCommunicator>();

    Server()
    {
        platform::UserDefaults::setSharedFilePath(folder.filePath(QStringLiteral("Kalvanto.conf")));
        manager = std::make_shared<QMCommModuleConnectionManager>(folder.filePath(QStringLiteral("data")));
        manager->setDelegate(&channels);
        manager->setCommModuleController(&controller);
        controller.setCommandInterpreter(manager);
        parser->setDelegate(&controller);
        parser->setBehavior(QMProtocolBehaviorDevice);
        parser->setHardwareCommunicator(tcp);
        tcp->setParser(parser);
        tcp->setInterfaceString(QStringLiteral("lo"));
        tcp->setSocketMode(QMSocketModeListen);
        tcp->activate();
    }
    ~Server()
    {
        tcp->deactivate();
        parser->setDelegate(nullptr);
    }
};

inline bool waitFor(QTcpSocket& socket, qsizetype count)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (socket.bytesAvailable() < count) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace vdcpbench
