#include "comm/core/QMHardwareCommunicator.h"

#include "comm/core/QMCommLog.h"
#include "comm/core/QMNetworkHardwareCommunicator.h"
#include "comm/core/QMProtocolParser.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/QMUDPNetworkHardwareCommunicator.h"

namespace {

class BaseClass final : public QMHardwareCommunicatorClass {
public:
    BaseClass() : QMHardwareCommunicatorClass(QStringLiteral("QMHardwareCommunicator")) {}
    std::shared_ptr<QMHardwareCommunicator> create() const override { return std::make_shared<QMHardwareCommunicator>(); }
};

struct CommunicatorRegistry {
    std::mutex mutex;
    QList<const QMHardwareCommunicatorClass*> classes;
    QMHardwareCommunicator::SetupViewProvider setupViewProvider;

    CommunicatorRegistry()
    {
        // The communicators of this library; other libraries register theirs at start-up.
        classes = {&baseClass(), &QMSerialHardwareCommunicator::serialClass(),
                   &QMNetworkHardwareCommunicator::networkClass(),
                   &QMTCPNetworkHardwareCommunicator::tcpClass(),
                   &QMUDPNetworkHardwareCommunicator::udpClass()};
    }
    static const QMHardwareCommunicatorClass& baseClass()
    {
        static const BaseClass instance;
        return instance;
    }
};

CommunicatorRegistry& registry()
{
    static CommunicatorRegistry instance;
    return instance;
}

} // namespace

std::shared_ptr<QMHardwareCommunicator> QMHardwareCommunicatorClass::createWithXML(const platform::XmlElement&) const
{
    qmcomm::logError(QStringLiteral("%1 failed to implement initWithXML:").arg(className()));
    return nullptr;
}

QList<QVariantMap> QMHardwareCommunicatorClass::availableInterfaces() const
{
    return QMHardwareCommunicator::availableInterfaces();
}

QMHardwareCommunicator::QMHardwareCommunicator() = default;
QMHardwareCommunicator::~QMHardwareCommunicator() = default;

const QMHardwareCommunicatorClass& QMHardwareCommunicator::communicatorClass() const
{
    return CommunicatorRegistry::baseClass();
}

QWidget* QMHardwareCommunicator::setupView()
{
    if (setupView_)
        return setupView_;
    SetupViewProvider provider;
    {
        CommunicatorRegistry& r = registry();
        std::unique_lock lock(r.mutex);
        provider = r.setupViewProvider;
    }
    if (provider)
        setupView_ = provider(*this);
    return setupView_;
}

std::optional<platform::XmlElement> QMHardwareCommunicator::serializedConnectionProperties() const
{
    qmcomm::logError(QStringLiteral("%1 failed to implement serializedConnectionProperties").arg(className()));
    return std::nullopt;
}

QString QMHardwareCommunicator::activeStateLabel() const
{
    return isActive() ? QStringLiteral("Connected") : QStringLiteral("Not Connected");
}

void QMHardwareCommunicator::activate()
{
    setActive(true);
}

void QMHardwareCommunicator::deactivate()
{
    setActive(false);
}

void QMHardwareCommunicator::setActive(bool active)
{
    if (active) {
        std::unique_lock lock(mutex_);
        failureReason_.clear();
    }
    if (active_.exchange(active) == active)
        return;
    emit activeChanged(active);
    emit activeStateLabelChanged();
}

QString QMHardwareCommunicator::failureReason() const
{
    std::unique_lock lock(mutex_);
    return failureReason_;
}

void QMHardwareCommunicator::setFailureReason(const QString& reason)
{
    {
        std::unique_lock lock(mutex_);
        failureReason_ = reason;
    }
    announceActiveStateLabel();
}

QString QMHardwareCommunicator::displayName() const
{
    std::unique_lock lock(mutex_);
    return displayName_;
}

void QMHardwareCommunicator::setDisplayName(const QString& name)
{
    {
        std::unique_lock lock(mutex_);
        if (displayName_ == name && displayName_.isNull() == name.isNull())
            return;
        displayName_ = name;
    }
    emit displayNameChanged();
}

std::shared_ptr<QMProtocolParser> QMHardwareCommunicator::parser() const
{
    std::unique_lock lock(mutex_);
    return parser_.lock();
}

void QMHardwareCommunicator::setParser(const std::shared_ptr<QMProtocolParser>& parser)
{
    std::unique_lock lock(mutex_);
    parser_ = parser;
}

QList<QVariantMap> QMHardwareCommunicator::availableInterfaces()
{
    return QMSerialHardwareCommunicator::serialClass().availableInterfaces()
        + QMNetworkHardwareCommunicator::networkClass().availableInterfaces();
}

QList<QVariantMap> QMHardwareCommunicator::availableInterfacesForType(unsigned type)
{
    QList<QVariantMap> result;
    for (const QVariantMap& entry : availableInterfaces()) {
        if (entry.value(QLatin1String(QMHardwareInterfaceType)).toUInt() == type)
            result.append(entry);
    }
    return result;
}

void QMHardwareCommunicator::registerSubclass(const QMHardwareCommunicatorClass& communicatorClass)
{
    CommunicatorRegistry& r = registry();
    std::unique_lock lock(r.mutex);
    for (const QMHardwareCommunicatorClass* known : std::as_const(r.classes)) {
        if (known == &communicatorClass || known->className() == communicatorClass.className())
            return;
    }
    r.classes.append(&communicatorClass);
}

QList<const QMHardwareCommunicatorClass*> QMHardwareCommunicator::subclasses()
{
    CommunicatorRegistry& r = registry();
    std::unique_lock lock(r.mutex);
    return r.classes;
}

const QMHardwareCommunicatorClass* QMHardwareCommunicator::classNamed(const QString& name)
{
    for (const QMHardwareCommunicatorClass* c : subclasses()) {
        if (c->className() == name)
            return c;
    }
    return nullptr;
}

void QMHardwareCommunicator::setSetupViewProvider(SetupViewProvider provider)
{
    CommunicatorRegistry& r = registry();
    std::unique_lock lock(r.mutex);
    r.setupViewProvider = std::move(provider);
}
