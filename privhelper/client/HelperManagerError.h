#pragma once
// Failures of helper operations. HelperOperationError carries any failure an operation
// reports (a file-system error from the helper, passed on unchanged, or one of the manager's
// own); HelperManagerError is the manager's own, in the domain "HelperManagerError".

#include "platform/foundation/Error.h"

#include <exception>
#include <string>

class HelperOperationError : public std::exception {
public:
    explicit HelperOperationError(platform::Error error);
    const platform::Error& error() const noexcept { return error_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    platform::Error error_;
    std::string what_;
};

class HelperManagerError : public HelperOperationError {
public:
    static constexpr const char* domain = "HelperManagerError";

    enum class Case {
        authorizationFailed = -1,
        blessingFailed = -2,
        unknownConnectionError = -3,
        connectionError = -4,
        unknownInstallError = -5,
        unknown = -6,
        timeout = -7,
        incorrectVersion = -8,
        helperNotInstalled = -9,
        installationFailed = -10,
    };

    static HelperManagerError authorizationFailed(const QString& message);
    static HelperManagerError blessingFailed(const QString& message);
    static HelperManagerError unknownConnectionError();
    static HelperManagerError connectionError(const QString& message);
    static HelperManagerError unknownInstallError(const platform::Error& underlying);
    static HelperManagerError unknown();
    static HelperManagerError timeout();
    static HelperManagerError incorrectVersion();
    static HelperManagerError helperNotInstalled();
    static HelperManagerError installationFailed();

    Case kind() const { return static_cast<Case>(error().code); }

private:
    // The error in our domain, its code the case.
    HelperManagerError(Case kind, QString description, QString failureReason = {},
                       std::shared_ptr<platform::Error> underlying = {});
};
