#pragma once
// The hub of the communications module: started once with the parser classes the application
// offers, it creates every parser (from the configuration or from a saved element), is every
// parser's delegate, and turns each decoded command into the matching operation of the
// application's command interpreter.
#include "comm/core/QMApplicationCommandInterpreting.h"
#include "comm/core/QMProtocolParser.h"

#include <QList>
#include <mutex>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QMHardwareCommunicatorClass;

// Notification names observed by the application side; the controller posts neither.
inline constexpr char QMModulesDidUpdate[] = "QMModulesDidUpdate";
inline constexpr char QMCommunicationModuleNotificationPluginLoaded[] = "QMCommunicationModuleNotificationPluginLoaded";

class QMCommunicationModuleController : public QMProtocolParserDelegate {
public:
    // The one instance the application uses, created on first use (thread-safe).
    static QMCommunicationModuleController& sharedController();

    // Further instances are for tests; making one while the shared one exists is reported as a
    // programming error.
    QMCommunicationModuleController();
    ~QMCommunicationModuleController() override;
    QMCommunicationModuleController(const QMCommunicationModuleController&) = delete;
    QMCommunicationModuleController& operator=(const QMCommunicationModuleController&) = delete;

    // Allowed once; a second call is reported and the first list stays.
    void startupWithAvailableParserClasses(const QList<const QMProtocolParserClass*>& classes);
    void startupWithAvailableTypes(const QVariantList& types);
    // Null before start-up.
    std::optional<QList<const QMProtocolParserClass*>> availableParsers() const;
    QStringList availableProtocols() const;

    std::shared_ptr<QMProtocolParser> activateParserForClass(const QMProtocolParserClass& parserClass);
    std::shared_ptr<QMProtocolParser> activateParserForClass(const QMProtocolParserClass& parserClass,
                                                             const QMHardwareCommunicatorClass& hardwareClass,
                                                             std::uint64_t behavior);
    // Recreates a parser from the element serializedParser wrote; null for an unknown class.
    std::shared_ptr<QMProtocolParser> activateParserForXML(const platform::XmlElement& element);
    std::vector<std::shared_ptr<QMProtocolParser>> activeParsers() const;

    QVariant executeApplicationCommand(const QString& command, const QVariantMap& params) override;

    std::shared_ptr<QMApplicationCommandInterpreting> commandInterpreter() const;
    // Held weakly: when the interpreter goes away, commands are dropped.
    void setCommandInterpreter(const std::shared_ptr<QMApplicationCommandInterpreting>& interpreter);

private:
    void adopt(const std::shared_ptr<QMProtocolParser>& parser);

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<QMProtocolParser>> activeParsers_;
    std::optional<QList<const QMProtocolParserClass*>> availableParsers_;
    std::weak_ptr<QMApplicationCommandInterpreting> commandInterpreter_;
};
