#pragma once
// A connection manager over recording channels, wired to its own module controller, with its
// files and user defaults in a temporary folder. Commands are sent the way parsers send them:
// through a parser whose delegate is the module controller.
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/QMHardwareCommunicator.h"
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "tests/comm/core/fakes/FakeChannels.h"
#include "tests/support/TempFolder.h"

#include <atomic>
#include <chrono>
#include <memory>

// A parser that only names itself in commands.
class RoutingTestParser : public QMProtocolParser {
public:
    static const QMProtocolParserClass& theClass();
    const QMProtocolParserClass& parserClass() const override { return theClass(); }
};

// A parser class whose parsers cannot be made.
class UnmakeableParserClass : public QMProtocolParserClass {
public:
    UnmakeableParserClass() : QMProtocolParserClass(QStringLiteral("QMProtocolParserUnmakeable")) {}
    std::shared_ptr<QMProtocolParser> create() const override { return nullptr; }
};

// A link that connects at once and remembers when.
class TestLinkCommunicator : public QMHardwareCommunicator {
public:
    static const QMHardwareCommunicatorClass& theClass();
    static std::shared_ptr<QMHardwareCommunicator> fromXML(const platform::XmlElement& element);
    const QMHardwareCommunicatorClass& communicatorClass() const override { return theClass(); }
    std::optional<platform::XmlElement> serializedConnectionProperties() const override;
    void activate() override;

    QString name;
    std::atomic<int> activations{0};
    std::chrono::steady_clock::time_point activatedAt;
};

struct InterpreterRig {
    testsupport::TempFolder folder;
    QMCommunicationModuleController controller;
    FakeChannelProvider app{4};
    std::shared_ptr<QMCommModuleConnectionManager> manager;

    InterpreterRig();
    // A parser the list knows as a device configured for this channel (0 = "Multi Channel").
    std::shared_ptr<QMProtocolParser> device(long channelIndex);
    // A parser no device holds.
    std::shared_ptr<QMProtocolParser> stranger();
    QVariant send(QMProtocolParser& parser, const char* command, const QVariantMap& params = {});
    void clearCalls();
};
