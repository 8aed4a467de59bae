#pragma once
// The abstract hardware communicator: one physical or network link that moves bytes between the
// outside and one protocol parser. It carries the active state and its label, the display name,
// the link to the parser, the element it writes into the control-device file, and the list of
// interfaces the machine offers. Class operations live in a class object
// (QMHardwareCommunicatorClass) kept in a registry.
#include "comm/core/QMProtocolParser.h"
#include "platform/foundation/Xml.h"

#include <QList>
#include <mutex>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QWidget;
class QMProtocolParser;
class QMHardwareCommunicator;

// Communicator types (also the type of an interface entry).
inline constexpr unsigned QMCommunicatorTypeOther = 0;
inline constexpr unsigned QMCommunicatorTypeSerial = 1;
inline constexpr unsigned QMCommunicatorTypeNetwork = 2;
inline constexpr unsigned QMCommunicatorTypeDMX = 3;
inline constexpr unsigned QMCommunicatorTypeMIDI = 4;

// Keys of an interface entry.
inline constexpr char QMHardwareInterfaceDisplayName[] = "QMHardwareInterfaceDisplayName";
inline constexpr char QMHardwareInterfaceUniqueIdentifier[] = "QMHardwareInterfaceUniqueIdentifier";
inline constexpr char QMHardwareInterfaceType[] = "QMHardwareInterfaceType";

class QMHardwareCommunicatorClass {
public:
    explicit QMHardwareCommunicatorClass(QString className) : className_(std::move(className)) {}
    virtual ~QMHardwareCommunicatorClass() = default;
    QMHardwareCommunicatorClass(const QMHardwareCommunicatorClass&) = delete;
    QMHardwareCommunicatorClass& operator=(const QMHardwareCommunicatorClass&) = delete;

    const QString& className() const { return className_; }
    // Plain init; null for the abstract base.
    virtual std::shared_ptr<QMHardwareCommunicator> create() const = 0;
    // Init from a saved element; the base logs "%@ failed to implement initWithXML:" and answers null.
    virtual std::shared_ptr<QMHardwareCommunicator> createWithXML(const platform::XmlElement& element) const;
    virtual QString hardwareTypeName() const { return QStringLiteral("Other"); }
    virtual QString setupViewNibName() const { return {}; }
    virtual QList<QVariantMap> availableInterfaces() const;

private:
    QString className_;
};

class QMHardwareCommunicator : public QObject {
    Q_OBJECT
public:
    QMHardwareCommunicator();
    ~QMHardwareCommunicator() override;

    virtual const QMHardwareCommunicatorClass& communicatorClass() const;
    QString className() const { return communicatorClass().className(); }

    virtual unsigned communicatorType() const { return QMCommunicatorTypeOther; }
    // The setup view is built by the user interface layer through the provider it installs.
    virtual QWidget* setupView();
    // The communicator's element in the control-device file; the base logs
    // "%@ failed to implement serializedConnectionProperties" and answers nothing.
    virtual std::optional<platform::XmlElement> serializedConnectionProperties() const;
    // Takes the settings of such an element (what initWithXML reads), on a live link too: it keeps
    // running until it is reopened.
    virtual void readConnectionProperties(const platform::XmlElement&) {}

    bool isActive() const { return active_.load(); }
    virtual QString activeStateLabel() const;
    virtual void activate();
    virtual void deactivate();
    virtual void updateFromConfig() {}
    // Why the last attempt to open the link failed or why it closed on its own; empty once it is
    // active again. Shown with the state, so the reason is not only in the log.
    QString failureReason() const;

    QString displayName() const;
    void setDisplayName(const QString& name);

    std::shared_ptr<QMProtocolParser> parser() const;
    void setParser(const std::shared_ptr<QMProtocolParser>& parser);
    // The parser when it adopts protocol P, else null (the parser stays alive while it is held).
    template <class P>
    std::shared_ptr<P> parserAs() const
    {
        const std::shared_ptr<QMProtocolParser> p = parser();
        auto* adopted = dynamic_cast<P*>(p.get());
        return adopted ? std::shared_ptr<P>(p, adopted) : nullptr;
    }

    // Class operations of the base.
    static QList<QVariantMap> availableInterfaces(); // serial ports, then network interfaces
    static QList<QVariantMap> availableInterfacesForType(unsigned type);
    static void registerSubclass(const QMHardwareCommunicatorClass& communicatorClass);
    static QList<const QMHardwareCommunicatorClass*> subclasses();
    static const QMHardwareCommunicatorClass* classNamed(const QString& name);

    using SetupViewProvider = std::function<QWidget*(QMHardwareCommunicator&)>;
    static void setSetupViewProvider(SetupViewProvider provider);

signals:
    // Emitted on the thread that made the change; connect with a queued connection to use it
    // on another thread.
    void activeChanged(bool active);
    void activeStateLabelChanged();
    void displayNameChanged();

protected:
    // The base activate/deactivate: changes the state and announces it (and the label).
    void setActive(bool active);
    void announceActiveStateLabel() { emit activeStateLabelChanged(); }
    // Keeps the reason for failureReason() and announces the label; from any thread.
    void setFailureReason(const QString& reason);

private:
    std::atomic<bool> active_{false};
    mutable std::mutex mutex_;
    QString displayName_;
    QString failureReason_;
    std::weak_ptr<QMProtocolParser> parser_;
    QWidget* setupView_ = nullptr;
};

// The class object of a concrete communicator type T.
template <class T>
class QMHardwareCommunicatorClassOf : public QMHardwareCommunicatorClass {
public:
    using QMHardwareCommunicatorClass::QMHardwareCommunicatorClass;
    std::shared_ptr<QMHardwareCommunicator> create() const override { return std::make_shared<T>(); }
    std::shared_ptr<QMHardwareCommunicator> createWithXML(const platform::XmlElement& element) const override
    {
        return T::fromXML(element);
    }
};
