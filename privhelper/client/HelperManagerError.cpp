#include "privhelper/client/HelperManagerError.h"

#include <memory>

HelperOperationError::HelperOperationError(platform::Error error)
    : error_(std::move(error)), what_(error_.description.toStdString())
{
}

HelperManagerError::HelperManagerError(Case kind, QString description, QString failureReason,
                                       std::shared_ptr<platform::Error> underlying)
    : HelperOperationError(platform::Error(QString::fromLatin1(domain), static_cast<std::int64_t>(kind),
                                           std::move(description), std::move(failureReason),
                                           std::move(underlying)))
{
}

HelperManagerError HelperManagerError::authorizationFailed(const QString& message)
{
    return {Case::authorizationFailed,
            QStringLiteral("Unable to get authorization to install helper tool. ") + message, message};
}

HelperManagerError HelperManagerError::blessingFailed(const QString& message)
{
    return {Case::blessingFailed, QStringLiteral("Unable to register helper tool. ") + message, message};
}

HelperManagerError HelperManagerError::unknownConnectionError()
{
    return {Case::unknownConnectionError, QStringLiteral("Unknown connection error.")};
}

HelperManagerError HelperManagerError::connectionError(const QString& message)
{
    return {Case::connectionError, QStringLiteral("Connection error: ") + message};
}

HelperManagerError HelperManagerError::unknownInstallError(const platform::Error& underlying)
{
    return {Case::unknownInstallError, QStringLiteral("Unknown install error: ") + underlying.description, {},
            std::make_shared<platform::Error>(underlying)};
}

HelperManagerError HelperManagerError::unknown()
{
    return {Case::unknown, QStringLiteral("Unknown error.")};
}

HelperManagerError HelperManagerError::timeout()
{
    return {Case::timeout, QStringLiteral("Connection to helper service timedout")};
}

HelperManagerError HelperManagerError::incorrectVersion()
{
    return {Case::incorrectVersion, QStringLiteral("Incorrect helper version installed. Needs update.")};
}

HelperManagerError HelperManagerError::helperNotInstalled()
{
    return {Case::helperNotInstalled, QStringLiteral("Helper not installed.")};
}

HelperManagerError HelperManagerError::installationFailed()
{
    return {Case::installationFailed, QStringLiteral("Helper installation failed")};
}
