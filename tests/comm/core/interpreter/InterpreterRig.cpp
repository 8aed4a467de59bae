#include "tests/comm/core/interpreter/InterpreterRig.h"

#include "platform/foundation/UserDefaults.h"

const QMProtocolParserClass& RoutingTestParser::theClass()
{
    static const QMProtocolParserClassOf<RoutingTestParser> c(QStringLiteral("QMProtocolParserRoutingTest"));
    return c;
}

const QMHardwareCommunicatorClass& TestLinkCommunicator::theClass()
{
    static const QMHardwareCommunicatorClassOf<TestLinkCommunicator> c(QStringLiteral("QMTestLinkCommunicator"));
    return c;
}

std::shared_ptr<QMHardwareCommunicator> TestLinkCommunicator::fromXML(const platform::XmlElement& element)
{
    auto link = std::make_shared<TestLinkCommunicator>();
    link->name = element.attribute(QStringLiteral("name"));
    return link;
}

std::optional<platform::XmlElement> TestLinkCommunicator::serializedConnectionProperties() const
{
    platform::XmlElement element(theClass().className());
    element.setAttribute(QStringLiteral("name"), name);
    return element;
}

void TestLinkCommunicator::activate()
{
    activatedAt = std::chrono::steady_clock::now();
    ++activations;
    QMHardwareCommunicator::activate();
}

InterpreterRig::InterpreterRig()
{
    platform::UserDefaults::setSharedFilePath(folder.filePath(QStringLiteral("Kalvanto.conf")));
    QMProtocolParserClass::registerClass(RoutingTestParser::theClass());
    QMHardwareCommunicator::registerSubclass(TestLinkCommunicator::theClass());
    manager = std::make_shared<QMCommModuleConnectionManager>(folder.filePath(QStringLiteral("data")));
    manager->setDelegate(&app);
    manager->setCommModuleController(&controller);
    controller.setCommandInterpreter(manager);
    const QStringList labels{QStringLiteral("Main"), QStringLiteral("Two"), QString(), QStringLiteral("Four")};
    for (int tag = 1; tag <= 4; ++tag)
        app.channel(tag).name = labels.at(tag - 1);
}

std::shared_ptr<QMProtocolParser> InterpreterRig::device(long channelIndex)
{
    std::shared_ptr<QMProtocolParser> parser = controller.activateParserForClass(RoutingTestParser::theClass());
    manager->connectionWrapperForParser(parser)->setKlvChannelIndex(channelIndex);
    return parser;
}

std::shared_ptr<QMProtocolParser> InterpreterRig::stranger()
{
    return controller.activateParserForClass(RoutingTestParser::theClass());
}

QVariant InterpreterRig::send(QMProtocolParser& parser, const char* command, const QVariantMap& params)
{
    return parser.executeApplicationCommand(QString::fromLatin1(command), params);
}

void InterpreterRig::clearCalls()
{
    for (auto& c : app.channels) {
        c->calls.clear();
        c->movie.calls.clear();
    }
}
