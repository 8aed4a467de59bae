#include "comm/core/interpreter/QMCommModuleConnectionWrapper.h"

#include "comm/core/QMHardwareCommunicator.h"
#include "comm/core/QMProtocolParser.h"

#include <QTimer>
#include <QUuid>

QMCommModuleConnectionWrapper::QMCommModuleConnectionWrapper(std::shared_ptr<QMProtocolParser> parser, QObject* parent)
    : QObject(parent), parser_(std::move(parser))
{
    followCommunicator();
}

void QMCommModuleConnectionWrapper::followCommunicator()
{
    for (const QMetaObject::Connection& link : std::as_const(communicatorLinks_))
        disconnect(link);
    communicatorLinks_.clear();
    // The communicator's signals arrive on whatever thread changed it; queue them to ours.
    if (const auto c = communicator()) {
        communicatorLinks_ << connect(c.get(), &QMHardwareCommunicator::activeChanged, this, &QMCommModuleConnectionWrapper::deviceChanged, Qt::QueuedConnection)
                           << connect(c.get(), &QMHardwareCommunicator::activeStateLabelChanged, this, &QMCommModuleConnectionWrapper::deviceChanged, Qt::QueuedConnection)
                           << connect(c.get(), &QMHardwareCommunicator::displayNameChanged, this, &QMCommModuleConnectionWrapper::deviceChanged, Qt::QueuedConnection);
    }
}

void QMCommModuleConnectionWrapper::hardwareCommunicatorChanged()
{
    followCommunicator();
    emit deviceChanged();
}

QMCommModuleConnectionWrapper::~QMCommModuleConnectionWrapper()
{
    // The module controller keeps the parser; the link it drives must not outlive the device.
    if (const auto c = communicator())
        c->deactivate();
}

void QMCommModuleConnectionWrapper::setDeviceLabel(const QString& label)
{
    deviceLabel_ = label;
    emit deviceChanged();
}

std::shared_ptr<QMHardwareCommunicator> QMCommModuleConnectionWrapper::communicator() const
{
    return parser_ ? parser_->hardwareCommunicator() : nullptr;
}

QString QMCommModuleConnectionWrapper::deviceIcon() const
{
    return parser_ ? parser_->parserClass().supportedProtocolIcon() : QString();
}

QString QMCommModuleConnectionWrapper::deviceProtocol() const
{
    return parser_ ? parser_->parserClass().supportedProtocol() : QString();
}

QString QMCommModuleConnectionWrapper::deviceDescription() const
{
    return parser_ ? parser_->parserClass().supportedProtocolDescription() : QString();
}

QString QMCommModuleConnectionWrapper::deviceHardware() const
{
    const auto c = communicator();
    return c ? c->displayName() : QString();
}

bool QMCommModuleConnectionWrapper::isConnected() const
{
    const auto c = communicator();
    return c && c->isActive();
}

bool QMCommModuleConnectionWrapper::isConfigured() const
{
    return communicator() != nullptr;
}

QString QMCommModuleConnectionWrapper::connectButtonLabel() const
{
    const auto c = communicator();
    return c ? c->activeStateLabel() : QString();
}

QString QMCommModuleConnectionWrapper::connectButtonIcon() const
{
    // Themed status icons: available when connected, otherwise unavailable.
    return isConnected() ? QStringLiteral("user-available") : QStringLiteral("user-busy");
}

void QMCommModuleConnectionWrapper::connectAction()
{
    if (isConfigured() && !isConnected())
        communicator()->activate();
    emit deviceChanged();
}

void QMCommModuleConnectionWrapper::disconnectAction()
{
    if (isConnected())
        communicator()->deactivate();
    emit deviceChanged();
}

void QMCommModuleConnectionWrapper::scheduleConnect(int milliseconds)
{
    // The timer belongs to this object: a device removed before its turn never connects.
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, this, &QMCommModuleConnectionWrapper::connectAction);
}

QString QMCommModuleConnectionWrapper::newDeviceID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}
