#include "comm/core/QMProtocolParser.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMHardwareCommunicator.h"

#include <QHash>

namespace {

struct ParserRegistry {
    std::mutex mutex;
    QHash<QString, const QMProtocolParserClass*> classes;
};

ParserRegistry& parserRegistry()
{
    static ParserRegistry registry;
    return registry;
}

} // namespace

void QMProtocolParserClass::registerClass(const QMProtocolParserClass& parserClass)
{
    ParserRegistry& r = parserRegistry();
    std::unique_lock lock(r.mutex);
    if (!r.classes.contains(parserClass.className()))
        r.classes.insert(parserClass.className(), &parserClass);
}

const QMProtocolParserClass* QMProtocolParserClass::classNamed(const QString& name)
{
    ParserRegistry& r = parserRegistry();
    std::unique_lock lock(r.mutex);
    return r.classes.value(name, nullptr);
}

QMProtocolParser::~QMProtocolParser() = default;

std::shared_ptr<QMHardwareCommunicator> QMProtocolParser::hardwareCommunicator() const
{
    std::unique_lock lock(communicatorMutex_);
    return hardwareCommunicator_;
}

void QMProtocolParser::setHardwareCommunicator(std::shared_ptr<QMHardwareCommunicator> communicator)
{
    std::shared_ptr<QMHardwareCommunicator> old;
    std::unique_lock lock(communicatorMutex_);
    old = std::exchange(hardwareCommunicator_, std::move(communicator));
    lock.unlock(); // the old communicator may be destroyed here, outside the lock
}

platform::XmlElement QMProtocolParser::serializedParser() const
{
    platform::XmlElement element(className());
    element.setAttribute(QStringLiteral("behavior"), QString::number(behavior()));
    if (const auto communicator = hardwareCommunicator()) {
        if (auto child = communicator->serializedConnectionProperties())
            element.appendChild(std::move(*child));
    }
    return element;
}

QVariant QMProtocolParser::executeApplicationCommand(const QString& command, QVariantMap params)
{
    QMProtocolParserDelegate* target = delegate();
    if (!target)
        return {};
    params.insert(QLatin1String(QMApplicationCommandParser), qmParserValue(this));
    return target->executeApplicationCommand(command, params);
}

QMProtocolParser* qmParserFromParams(const QVariantMap& params)
{
    return params.value(QLatin1String(QMApplicationCommandParser)).value<QMProtocolParser*>();
}
