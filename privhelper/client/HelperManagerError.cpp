#include "privhelper/client/HelperManagerError.h"

#include <memory>

namespace {

platform::Error makeError(HelperManagerError::Case kind, QString description,
                          QString failureReason = {})
{
    return platform::Error(QString::fromLatin1(HelperManagerError::domain),
                           static_cast<std::int64_t>(kind), std::move(description),
                           std::move(failureReason));
}

} // namespace

HelperOperationError::HelperOperationError(platform::Error error)
    : error_(std::move(error)), what_(error_.description.toStdString())
{
}

HelperManagerError::HelperManagerError(Case kind, platform::Error error)
    : HelperOperationError(std::move(error)), kind_(kind)
{
}

HelperManagerError HelperManagerError::authorizationFailed(const QString& message)
{
    return {Case::authorizationFailed,
            makeError(Case::authorizationFailed,
                      QStringLiteral("Unable to get authorization to install helper tool. ") + message,
                      message)};
}

HelperManagerError HelperManagerError::blessingFailed(const QString& message)
{
    return {Case::blessingFailed,
            makeError(Case::blessingFailed,
                      QStringLiteral("Unable to register helper tool. ") + message, message)};
}

HelperManagerError HelperManagerError::unknownConnectionError()
{
    return {Case::unknownConnectionError,
            makeError(Case::unknownConnectionError, QStringLiteral("Unknown connection error."))};
}

HelperManagerError HelperManagerError::connectionError(const QString& message)
{
    return {Case::connectionError,
            makeError(Case::connectionError, QStringLiteral("Connection error: ") + message)};
}

HelperManagerError HelperManagerError::unknownInstallError(const platform::Error& underlying)
{
    auto error = makeError(Case::unknownInstallError,
                           QStringLiteral("Unknown install error: ") + underlying.description);
    error.underlying = std::make_shared<platform::Error>(underlying);
    return {Case::unknownInstallError, std::move(error)};
}

HelperManagerError HelperManagerError::unknown()
{
    return {Case::unknown, makeError(Case::unknown, QStringLiteral("Unknown error."))};
}

HelperManagerError HelperManagerError::timeout()
{
    return {Case::timeout,
            makeError(Case::timeout, QStringLiteral("Connection to helper service timedout"))};
}

HelperManagerError HelperManagerError::incorrectVersion()
{
    return {Case::incorrectVersion,
            makeError(Case::incorrectVersion,
                      QStringLiteral("Incorrect helper version installed. Needs update."))};
}

HelperManagerError HelperManagerError::helperNotInstalled()
{
    return {Case::helperNotInstalled,
            makeError(Case::helperNotInstalled, QStringLiteral("Helper not installed."))};
}

HelperManagerError HelperManagerError::installationFailed()
{
    return {Case::installationFailed,
            makeError(Case::installationFailed, QStringLiteral("Helper installation failed"))};
}
