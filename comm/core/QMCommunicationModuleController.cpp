#include "comm/core/QMCommunicationModuleController.h"

#include "comm/core/CommunicationDeviceLookup.h"
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommLog.h"
#include "comm/core/QMHardwareCommunicator.h"
#include "platform/foundation/StringValue.h"

#include <QHash>

#include <atomic>

namespace {

std::atomic<bool> sharedExists{false};

using Interpreter = QMApplicationCommandInterpreting;
using Params = QMApplicationCommandInterpreting::Params;
using Answer = QMApplicationCommandInterpreting::Answer;

// Every handler answers nullopt when the interpreter does not offer the operation.
using Handler = Answer (*)(Interpreter&, const Params&);

Answer done(bool offered)
{
    return offered ? Answer(QVariant()) : std::nullopt;
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
        add(QMApplicationCommandTransportPlay, [](Interpreter& i, const Params& p) { return done(i.interpretTransportPlay(p)); });
        add(QMApplicationCommandTransportStop, [](Interpreter& i, const Params& p) { return done(i.interpretTransportStop(p)); });
        add(QMApplicationCommandTransportPause, [](Interpreter& i, const Params& p) { return done(i.interpretTransportPause(p)); });
        add(QMApplicationCommandTransportRewind, [](Interpreter& i, const Params& p) { return done(i.interpretTransportRewind(p)); });
        add(QMApplicationCommandTransportFastForward, [](Interpreter& i, const Params& p) { return done(i.interpretTransportFastForward(p)); });
        add(QMApplicationCommandTransportSeek, [](Interpreter& i, const Params& p) { return done(i.interpretTransportSeek(p)); });
        add(QMApplicationCommandTransportStep, [](Interpreter& i, const Params& p) { return done(i.interpretTransportStep(p)); });
        add(QMApplicationCommandTransportTimecode, [](Interpreter& i, const Params& p) { return done(i.interpretTransportTimecode(p)); });
        add(QMApplicationCommandClearAll, [](Interpreter& i, const Params&) { return done(i.interpretClearAll()); });
        add(QMApplicationCommandClearBackground, [](Interpreter& i, const Params&) { return done(i.interpretClearBackground()); });
        add(QMApplicationCommandClearSlide, [](Interpreter& i, const Params&) { return done(i.interpretClearSlide()); });
        add(QMApplicationCommandClearProps, [](Interpreter& i, const Params&) { return done(i.interpretClearProps()); });
        add(QMApplicationCommandClearAudio, [](Interpreter& i, const Params&) { return done(i.interpretClearAudio()); });
        add(QMApplicationCommandClearLogo, [](Interpreter& i, const Params&) { return done(i.interpretClearLogo()); });
        add(QMApplicationCommandSlideNext, [](Interpreter& i, const Params&) { return done(i.interpretSlideNext()); });
        add(QMApplicationCommandSlidePrevious, [](Interpreter& i, const Params&) { return done(i.interpretSlidePrevious()); });
        add(QMApplicationCommandPlaylistItemNext, [](Interpreter& i, const Params&) { return done(i.interpretPlaylistItemNext()); });
        add(QMApplicationCommandPlaylistItemPrevious, [](Interpreter& i, const Params&) { return done(i.interpretPlaylistItemPrevious()); });
        add(QMApplicationCommandMediaNext, [](Interpreter& i, const Params&) { return done(i.interpretMediaNext()); });
        add(QMApplicationCommandMediaPrevious, [](Interpreter& i, const Params&) { return done(i.interpretMediaPrevious()); });
        add(QMApplicationCommandGetCuedMedia, [](Interpreter& i, const Params& p) { return i.interpretGetCuedMedia(p); });
        add(QMApplicationCommandGetCuedPresentation, [](Interpreter& i, const Params& p) { return i.interpretGetCuedPresentation(p); });
        add(QMApplicationCommandGetCuedPlaylistItem, [](Interpreter& i, const Params& p) { return i.interpretGetCuedPlaylistItem(p); });
        add(QMApplicationCommandGetCuedAudio, [](Interpreter& i, const Params& p) { return i.interpretGetCuedAudio(p); });
        add(QMApplicationCommandCueMedia, [](Interpreter& i, const Params& p) { return done(i.interpretCueMedia(p)); });
        add(QMApplicationCommandListMedia, [](Interpreter& i, const Params& p) { return i.interpretListMedia(p); });
        add(QMApplicationCommandListPresentation, [](Interpreter& i, const Params& p) { return i.interpretListPresentation(p); });
        add(QMApplicationCommandListPlaylist, [](Interpreter& i, const Params& p) { return i.interpretListPlaylistItem(p); });
        add(QMApplicationCommandListAudio, [](Interpreter& i, const Params& p) { return i.interpretListAudio(p); });
        add(QMApplicationCommandQueryMedia, [](Interpreter& i, const Params& p) { return i.interpretQueryMedia(p); });
        add(QMApplicationCommandDMXValuesChanged, [](Interpreter& i, const Params& p) { return done(i.interpretDMXValuesChanged(p)); });
        add(QMApplicationCommandMIDINote, [](Interpreter& i, const Params& p) { return done(i.interpretMIDINote(p)); });
        add(QMApplicationCommandMIDINotes, [](Interpreter& i, const Params& p) { return done(i.interpretMIDINotes(p)); });
        add(QMApplicationGetState, &applicationState);
        add(QMApplicationCommandApplicationInfo, [](Interpreter& i, const Params& p) { return i.interpretApplicationInfo(p); });
        add(QMApplicationCommandRawData, [](Interpreter& i, const Params& p) { return done(i.interpretRawData(p)); });
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
    const QMProtocolParserClass* parserClass = QMProtocolParserClass::classNamed(element.name());
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
    qmcomm::log(QStringLiteral("QMCommunicationModuleController: Unknown Application Command %1 params: %2")
                    .arg(command, qmcomm::valueDescription(params)));
    return {};
}
