#include "comm/core/QMCommunicationModuleController.h"

#include "comm/core/CommunicationDeviceLookup.h"
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommLog.h"
#include "comm/core/QMHardwareCommunicator.h"
#include "platform/foundation/StringValue.h"

#include <QHash>

#include <atomic>
#include <functional>
#include <type_traits>

namespace {

std::atomic<bool> sharedExists{false};

using Interpreter = QMApplicationCommandInterpreting;
using Params = QMApplicationCommandInterpreting::Params;
using Answer = QMApplicationCommandInterpreting::Answer;

// Every handler answers nullopt when the interpreter does not offer the operation.
using Handler = Answer (*)(Interpreter&, const Params&);

// An operation that carries something out answers a null QVariant when offered. Clearing and
// navigation take no parameters.
template <auto operation>
Answer carriedOut(Interpreter& i, const Params& p)
{
    bool offered;
    if constexpr (std::is_invocable_v<decltype(operation), Interpreter&, const Params&>)
        offered = std::invoke(operation, i, p);
    else
        offered = std::invoke(operation, i);
    return offered ? Answer(QVariant()) : std::nullopt;
}

template <auto query>
Answer answered(Interpreter& i, const Params& p)
{
    return std::invoke(query, i, p);
}

Answer applicationState(Interpreter& i, const Params& p)
{
    if (Answer state = i.currentApplicationStateForParams(p))
        return state;
    return i.currentApplicationState();
}

const QHash<QString, Handler>& dispatchTable()
{
    static const QHash<QString, Handler> table = [] {
        QHash<QString, Handler> t;
        auto add = [&t](const char* name, Handler handler) { t.insert(QString::fromLatin1(name), handler); };
        // Transport.
        add(QMApplicationCommandTransportPlay, carriedOut<&Interpreter::interpretTransportPlay>);
        add(QMApplicationCommandTransportStop, carriedOut<&Interpreter::interpretTransportStop>);
        add(QMApplicationCommandTransportPause, carriedOut<&Interpreter::interpretTransportPause>);
        add(QMApplicationCommandTransportRewind, carriedOut<&Interpreter::interpretTransportRewind>);
        add(QMApplicationCommandTransportFastForward, carriedOut<&Interpreter::interpretTransportFastForward>);
        add(QMApplicationCommandTransportSeek, carriedOut<&Interpreter::interpretTransportSeek>);
        add(QMApplicationCommandTransportStep, carriedOut<&Interpreter::interpretTransportStep>);
        add(QMApplicationCommandTransportTimecode, carriedOut<&Interpreter::interpretTransportTimecode>);
        // Cueing.
        add(QMApplicationCommandCueMedia, carriedOut<&Interpreter::interpretCueMedia>);
        // Clearing.
        add(QMApplicationCommandClearAll, carriedOut<&Interpreter::interpretClearAll>);
        add(QMApplicationCommandClearBackground, carriedOut<&Interpreter::interpretClearBackground>);
        add(QMApplicationCommandClearSlide, carriedOut<&Interpreter::interpretClearSlide>);
        add(QMApplicationCommandClearProps, carriedOut<&Interpreter::interpretClearProps>);
        add(QMApplicationCommandClearAudio, carriedOut<&Interpreter::interpretClearAudio>);
        add(QMApplicationCommandClearLogo, carriedOut<&Interpreter::interpretClearLogo>);
        // Navigation.
        add(QMApplicationCommandSlideNext, carriedOut<&Interpreter::interpretSlideNext>);
        add(QMApplicationCommandSlidePrevious, carriedOut<&Interpreter::interpretSlidePrevious>);
        add(QMApplicationCommandPlaylistItemNext, carriedOut<&Interpreter::interpretPlaylistItemNext>);
        add(QMApplicationCommandPlaylistItemPrevious, carriedOut<&Interpreter::interpretPlaylistItemPrevious>);
        add(QMApplicationCommandMediaNext, carriedOut<&Interpreter::interpretMediaNext>);
        add(QMApplicationCommandMediaPrevious, carriedOut<&Interpreter::interpretMediaPrevious>);
        // What is cued.
        add(QMApplicationCommandGetCuedMedia, answered<&Interpreter::interpretGetCuedMedia>);
        add(QMApplicationCommandGetCuedPresentation, answered<&Interpreter::interpretGetCuedPresentation>);
        add(QMApplicationCommandGetCuedPlaylistItem, answered<&Interpreter::interpretGetCuedPlaylistItem>);
        add(QMApplicationCommandGetCuedAudio, answered<&Interpreter::interpretGetCuedAudio>);
        // The application and what it holds.
        add(QMApplicationCommandApplicationInfo, answered<&Interpreter::interpretApplicationInfo>);
        add(QMApplicationCommandListMedia, answered<&Interpreter::interpretListMedia>);
        add(QMApplicationCommandListPresentation, answered<&Interpreter::interpretListPresentation>);
        add(QMApplicationCommandListPlaylist, answered<&Interpreter::interpretListPlaylistItem>);
        add(QMApplicationCommandListAudio, answered<&Interpreter::interpretListAudio>);
        add(QMApplicationCommandQueryMedia, answered<&Interpreter::interpretQueryMedia>);
        // Show control.
        add(QMApplicationCommandDMXValuesChanged, carriedOut<&Interpreter::interpretDMXValuesChanged>);
        add(QMApplicationCommandMIDINote, carriedOut<&Interpreter::interpretMIDINote>);
        add(QMApplicationCommandMIDINotes, carriedOut<&Interpreter::interpretMIDINotes>);
        add(QMApplicationCommandRawData, carriedOut<&Interpreter::interpretRawData>);
        // State.
        add(QMApplicationGetState, &applicationState);
        return t;
    }();
    return table;
}

} // namespace

QMCommunicationModuleController& QMCommunicationModuleController::sharedController()
{
    static QMCommunicationModuleController* instance = [] {
        auto* c = new QMCommunicationModuleController; // lives for the rest of the process
        sharedExists = true;
        return c;
    }();
    return *instance;
}

QMCommunicationModuleController::QMCommunicationModuleController()
{
    if (sharedExists.load())
        qmcomm::log(QStringLiteral("attempting to init another communciation controller"), platform::LogLevel::Fault);
}

QMCommunicationModuleController::~QMCommunicationModuleController() = default;

void QMCommunicationModuleController::startupWithAvailableParserClasses(const QList<const QMProtocolParserClass*>& classes)
{
    std::unique_lock lock(mutex_);
    if (availableParsers_) {
        lock.unlock();
        qmcomm::log(QStringLiteral("must only call startup once!"), platform::LogLevel::Fault);
        return;
    }
    availableParsers_ = classes;
}

void QMCommunicationModuleController::startupWithAvailableTypes(const QVariantList& types)
{
    startupWithAvailableParserClasses(CommunicationDeviceLookup::classesForRawTypes(types));
}

std::optional<QList<const QMProtocolParserClass*>> QMCommunicationModuleController::availableParsers() const
{
    std::unique_lock lock(mutex_);
    return availableParsers_;
}

QStringList QMCommunicationModuleController::availableProtocols() const
{
    QStringList names;
    const auto classes = availableParsers();
    if (!classes)
        return names;
    for (const QMProtocolParserClass* c : *classes) {
        const QString name = c->supportedProtocol();
        if (!name.isNull() && !names.contains(name))
            names.append(name);
    }
    return names;
}

void QMCommunicationModuleController::adopt(const std::shared_ptr<QMProtocolParser>& parser)
{
    parser->setDelegate(this);
    std::unique_lock lock(mutex_);
    activeParsers_.push_back(parser);
}

std::shared_ptr<QMProtocolParser> QMCommunicationModuleController::activateParserForClass(const QMProtocolParserClass& parserClass)
{
    std::shared_ptr<QMProtocolParser> parser = parserClass.create();
    if (parser)
        adopt(parser);
    return parser;
}

std::shared_ptr<QMProtocolParser> QMCommunicationModuleController::activateParserForClass(
    const QMProtocolParserClass& parserClass, const QMHardwareCommunicatorClass& hardwareClass, std::uint64_t behavior)
{
    std::shared_ptr<QMProtocolParser> parser = parserClass.create();
    if (!parser)
        return nullptr;
    std::shared_ptr<QMHardwareCommunicator> communicator = hardwareClass.create();
    parser->setHardwareCommunicator(communicator);
    parser->setBehavior(behavior);
    if (communicator)
        communicator->setParser(parser);
    adopt(parser);
    return parser;
}

std::shared_ptr<QMProtocolParser> QMCommunicationModuleController::activateParserForXML(const platform::XmlElement& element)
{
    const QMProtocolParserClass* parserClass = CommunicationDeviceLookup::classForSavedName(element.name());
    if (!parserClass)
        return nullptr;
    std::shared_ptr<QMProtocolParser> parser = parserClass->create();
    if (!parser)
        return nullptr;
    parser->setBehavior(std::uint64_t(platform::integerValue(element.attribute(QStringLiteral("behavior")))));
    adopt(parser);
    if (element.children().size() == 1) {
        const platform::XmlElement& child = element.children().front();
        if (const QMHardwareCommunicatorClass* hardwareClass = QMHardwareCommunicator::classNamed(child.name())) {
            if (std::shared_ptr<QMHardwareCommunicator> communicator = hardwareClass->createWithXML(child)) {
                parser->setHardwareCommunicator(communicator);
                communicator->setParser(parser);
            }
        }
    }
    return parser;
}

std::vector<std::shared_ptr<QMProtocolParser>> QMCommunicationModuleController::activeParsers() const
{
    std::unique_lock lock(mutex_);
    return activeParsers_;
}

std::shared_ptr<QMApplicationCommandInterpreting> QMCommunicationModuleController::commandInterpreter() const
{
    std::unique_lock lock(mutex_);
    return commandInterpreter_.lock();
}

void QMCommunicationModuleController::setCommandInterpreter(const std::shared_ptr<QMApplicationCommandInterpreting>& interpreter)
{
    std::unique_lock lock(mutex_);
    commandInterpreter_ = interpreter;
}

QVariant QMCommunicationModuleController::executeApplicationCommand(const QString& command, const QVariantMap& params)
{
    const std::shared_ptr<QMApplicationCommandInterpreting> interpreter = commandInterpreter();
    if (!interpreter)
        return {};
    const Handler handler = dispatchTable().value(command, nullptr);
    if (handler) {
        if (const Answer answer = handler(*interpreter, params))
            return *answer;
    }
    // A 9-pin controller hands on each time code its deck answers, 33 a second, each line with a
    // new one: they are one line repeated, summed up once a minute.
    const QString line = QStringLiteral("QMCommunicationModuleController: Unknown Application Command %1").arg(command);
    qmcomm::logRepeating(line, line + QStringLiteral(" params: ") + qmcomm::valueDescription(params));
    return {};
}
