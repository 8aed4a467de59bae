#pragma once
// The application's single client of the privileged helper: makes sure the installed helper
// answers the version this application expects (installing it when it is missing or of another
// version), keeps one connection to it, and carries the privileged file operations over that
// connection. Each operation comes in an asynchronous form with a completion and a synchronous
// form that throws HelperOperationError.
//
// The helper can be switched off for a session (tests, unattended displays) with the
// environment variable KLV_DISABLE_PRIVILEGED_HELPER=1 or the user default
// "DisablePrivilegedHelper": nothing is installed, nothing is sent, and operations that would
// need the helper fail with "Helper not installed.".

#include "platform/foundation/Error.h"
#include "platform/foundation/SerialQueue.h"
#include "platform/privileged/FileAttributes.h"
#include "privhelper/client/HelperConnection.h"
#include "privhelper/client/HelperInstaller.h"
#include "privhelper/client/HelperManagerError.h"
#include "privhelper/shared/HelperService.h"
#include "privhelper/shared/PrivilegedHelperProtocol.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// The outcome of one operation: success, or failure with its error.
struct HelperOperationResult {
    std::optional<platform::Error> error;
    bool ok() const { return !error.has_value(); }
    static HelperOperationResult success() { return {}; }
    static HelperOperationResult failure(platform::Error e) { return {std::move(e)}; }
};

class HelperManager : public PrivilegedHelperProtocol::PrivilegedHelperAppProtocol {
public:
    enum class HelperState { startup, installed, incorrectVersion, notIntstalled, installationFailed };
    static const char* description(HelperState state);

    using Completion = std::function<void(const HelperOperationResult&)>;
    using FileAttributes = platform::privileged::FileAttributes;

    struct Options {
        std::string socketPath = HelperService::socketPath;
        std::shared_ptr<HelperInstaller> installer; // null: pkexec with the bundled tool
        std::chrono::milliseconds versionTimeout{5000};
        bool enabled = true;
    };

    explicit HelperManager(Options options);
    ~HelperManager() override;
    HelperManager(const HelperManager&) = delete;
    HelperManager& operator=(const HelperManager&) = delete;

    // The process's one instance (created on first use, thread-safe).
    static HelperManager& shared();
    // True when the environment or the user defaults switch the helper off.
    static bool helperDisabledBySettings();

    bool enabled() const { return options_.enabled; }

    virtual HelperState state() const;
    virtual void setState(HelperState state);
    // Checks the helper and installs it when needed; throws HelperManagerError.
    virtual void installIfNeeded();
    void logWithMessage(const std::string& message) override;
    void logWithError(const std::string& message) override;

    virtual void removeItem(const std::string& path, Completion completion);
    virtual void removeItem(const std::string& path);
    virtual void copyItem(const std::string& from, const std::string& to, Completion completion);
    virtual void copyItem(const std::string& from, const std::string& to);
    virtual void moveItem(const std::string& from, const std::string& to, Completion completion);
    virtual void moveItem(const std::string& from, const std::string& to);
    virtual void createDirectory(const std::string& path, bool withIntermediateDirectories,
                                 const std::optional<FileAttributes>& attributes,
                                 Completion completion);
    virtual void createDirectory(const std::string& path, bool withIntermediateDirectories,
                                 const std::optional<FileAttributes>& attributes);
    virtual void setAttributes(const FileAttributes& attributes, const std::string& path,
                               Completion completion);
    virtual void setAttributes(const FileAttributes& attributes, const std::string& path);

    // The current connection, made when there is none.
    std::shared_ptr<HelperConnection> connection();
    // The version the installed helper must answer.
    virtual std::string expectedHelperVersion() const;

protected:
    HelperState checkHelperState(bool initialCheck);

private:
    void dropConnection();
    HelperInstaller& installer();
    // Runs installIfNeeded and answers its failure as an error, or nothing once installed.
    std::optional<platform::Error> installationError();
    // Sends on the current connection; finish gets the reply's result or the connection error.
    void sendOnConnection(PrivilegedHelperProtocol::Request request,
                          std::function<void(HelperOperationResult)> finish);
    void send(PrivilegedHelperProtocol::Request request, Completion completion);
    void sendSync(PrivilegedHelperProtocol::Request request);
    void connectionErrorLogged(const QString& description) const;

    Options options_;
    mutable std::mutex stateMutex_;
    HelperState state_ = HelperState::startup;
    std::mutex installLock_;
    std::mutex connectionCreation_; // one connection is made at a time
    std::mutex connectionMutex_;    // guards currentConnection_
    std::shared_ptr<HelperConnection> currentConnection_;
    // Completions of the asynchronous forms run here, off the connection's reader, so a
    // completion may start the next operation.
    platform::SerialQueue completions_;
};
