#pragma once
// The abstract protocol parser. A parser sits between one hardware communicator, which carries
// its bytes, and its delegate (the module controller), to which it hands every decoded message
// as an application command. Parser and communicator are created together and released together
// by the device that owns them; the communicator refers back to its parser without owning it.
//
// What Objective-C kept as class methods lives in a class object (QMProtocolParserClass), one
// per parser class, found by name through an explicit registry.
#include "platform/foundation/Xml.h"

#include <mutex>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class QWidget;
class QMHardwareCommunicator;
class QMProtocolParser;

// Behaviour bits.
inline constexpr std::uint64_t QMProtocolBehaviorController = 1; // this system drives the device
inline constexpr std::uint64_t QMProtocolBehaviorDevice = 4;     // the device drives this system

// Receives decoded commands.
class QMProtocolParserDelegate {
public:
    virtual ~QMProtocolParserDelegate() = default;
    // Answers the query's result dictionary, or a null QVariant.
    virtual QVariant executeApplicationCommand(const QString& command, const QVariantMap& params) = 0;
};

class QMProtocolParserClass {
public:
    explicit QMProtocolParserClass(QString className) : className_(std::move(className)) {}
    virtual ~QMProtocolParserClass() = default;
    QMProtocolParserClass(const QMProtocolParserClass&) = delete;
    QMProtocolParserClass& operator=(const QMProtocolParserClass&) = delete;

    const QString& className() const { return className_; }
    // Plain init; null when the parser cannot be made.
    virtual std::shared_ptr<QMProtocolParser> create() const = 0;

    virtual QString supportedProtocol() const { return {}; }
    // A themed icon name standing for the protocol's image.
    virtual QString supportedProtocolIcon() const { return QStringLiteral("network-wired"); }
    virtual QString supportedProtocolDescription() const { return QStringLiteral(""); }
    // Names of the communicator classes the protocol runs on.
    virtual QStringList supportedHardwareCommunicators() const { return {}; }
    virtual QStringList additionalClasses() const { return {}; }
    virtual std::uint64_t protocolBehaviorMask() const { return 0; }
    virtual std::uint64_t protocolBehaviorMaskForHardware(const QMHardwareCommunicator*) const { return protocolBehaviorMask(); }

    // Registry of parser classes by name (explicit: each library registers its classes at
    // start-up). Registering a name twice keeps the first class.
    static void registerClass(const QMProtocolParserClass& parserClass);
    static const QMProtocolParserClass* classNamed(const QString& name);

private:
    QString className_;
};

// The class object of a concrete parser type T; derive from it to answer the class operations.
template <class T>
class QMProtocolParserClassOf : public QMProtocolParserClass {
public:
    using QMProtocolParserClass::QMProtocolParserClass;
    std::shared_ptr<QMProtocolParser> create() const override { return std::make_shared<T>(); }
};

class QMProtocolParser : public std::enable_shared_from_this<QMProtocolParser> {
public:
    QMProtocolParser() = default;
    virtual ~QMProtocolParser();
    QMProtocolParser(const QMProtocolParser&) = delete;
    QMProtocolParser& operator=(const QMProtocolParser&) = delete;

    virtual const QMProtocolParserClass& parserClass() const = 0;
    QString className() const { return parserClass().className(); }

    // Outgoing commands: display name to descriptor (QMProtocolCommandKey... keys).
    virtual QVariantMap protocolCommands() { return {}; }
    virtual void sendProtocolCommand(const QVariantMap& /*descriptor*/) {}
    virtual QWidget* controlView() { return nullptr; }
    // <ClassName behavior="N"> with the communicator's element as its only child when it has one.
    virtual platform::XmlElement serializedParser() const;

    std::shared_ptr<QMHardwareCommunicator> hardwareCommunicator() const;
    void setHardwareCommunicator(std::shared_ptr<QMHardwareCommunicator> communicator);

    QMProtocolParserDelegate* delegate() const { return delegate_.load(); }
    void setDelegate(QMProtocolParserDelegate* delegate) { delegate_.store(delegate); }

    std::uint64_t behavior() const { return behavior_.load(); }
    void setBehavior(std::uint64_t behavior) { behavior_.store(behavior); }

    // Hands a decoded message to the delegate with this parser named in the parameters.
    QVariant executeApplicationCommand(const QString& command, QVariantMap params);

private:
    mutable std::mutex communicatorMutex_;
    std::shared_ptr<QMHardwareCommunicator> hardwareCommunicator_;
    std::atomic<QMProtocolParserDelegate*> delegate_{nullptr};
    std::atomic<std::uint64_t> behavior_{0};
};

Q_DECLARE_METATYPE(QMProtocolParser*)

// The sending parser is named in a command's parameters by identity.
inline QVariant qmParserValue(QMProtocolParser* parser) { return QVariant::fromValue(parser); }
QMProtocolParser* qmParserFromParams(const QVariantMap& params);
