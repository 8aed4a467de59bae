#include "privhelper/client/HelperManager.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"

#include <condition_variable>
#include <cstdlib>

namespace proto = PrivilegedHelperProtocol;
using platform::LogLevel;

namespace {

void logApp(LogLevel level, const QString& text)
{
    platform::log(HelperService::logSubsystem, "App", level, text);
}

platform::Error helperFileError(const proto::ReplyError& e)
{
    return platform::Error(QString::fromStdString(e.domain), e.code,
                           QString::fromStdString(e.description));
}

HelperOperationResult resultOf(const proto::Reply& reply)
{
    return reply.error ? HelperOperationResult::failure(helperFileError(*reply.error))
                       : HelperOperationResult::success();
}

} // namespace

const char* HelperManager::description(HelperState state)
{
    switch (state) {
    case HelperState::startup: return "Startup state -- hasn't been checked yetc";
    case HelperState::installed: return "Installed";
    case HelperState::incorrectVersion: return "Incorrect Version";
    case HelperState::notIntstalled: return "Not Installed";
    case HelperState::installationFailed: return "Failed Installation";
    }
    return "";
}

HelperManager::HelperManager(Options options)
    : options_(std::move(options)), completions_(std::string(HelperService::label) + ".replies")
{
}

HelperManager::~HelperManager()
{
    dropConnection();
}

bool HelperManager::helperDisabledBySettings()
{
    const char* env = std::getenv("KLV_DISABLE_PRIVILEGED_HELPER");
    if (env && *env && std::string(env) != "0")
        return true;
    return platform::UserDefaults::sharedDefaults().boolForKey(
        QStringLiteral("DisablePrivilegedHelper"));
}

HelperManager& HelperManager::shared()
{
    static HelperManager instance([] {
        Options options;
        options.enabled = !helperDisabledBySettings();
        return options;
    }());
    return instance;
}

HelperManager::HelperState HelperManager::state() const
{
    std::lock_guard lock(stateMutex_);
    return state_;
}

void HelperManager::setState(HelperState state)
{
    {
        std::lock_guard lock(stateMutex_);
        state_ = state;
    }
    logApp(LogLevel::Default,
           QStringLiteral("Installed status update: %1").arg(QLatin1String(description(state))));
}

void HelperManager::logWithMessage(const std::string& message)
{
    logApp(LogLevel::Default, QString::fromStdString(message));
}

void HelperManager::logWithError(const std::string& message)
{
    logApp(LogLevel::Error, QString::fromStdString(message));
}

std::string HelperManager::expectedHelperVersion() const
{
    return HelperService::version;
}

HelperInstaller& HelperManager::installer()
{
    if (!options_.installer) {
        options_.installer = std::make_shared<PkexecHelperInstaller>(
            PkexecHelperInstaller::bundledToolPath(), PkexecHelperInstaller::currentExecutable());
    }
    return *options_.installer;
}

void HelperManager::connectionErrorLogged(const QString& description) const
{
    logApp(LogLevel::Error, QStringLiteral("Connection Error: %1").arg(description));
}

std::shared_ptr<HelperConnection> HelperManager::connection()
{
    std::lock_guard creation(connectionCreation_);
    {
        std::lock_guard lock(connectionMutex_);
        if (currentConnection_)
            return currentConnection_;
    }
    auto connection = HelperConnection::create(options_.socketPath, this);
    std::weak_ptr<HelperConnection> weak = connection;
    connection->setInvalidationHandler([this, weak] {
        auto mine = weak.lock();
        if (!mine)
            return;
        {
            std::lock_guard lock(connectionMutex_);
            if (currentConnection_ != mine)
                return; // an older connection: nothing to do
            currentConnection_.reset();
        }
        mine->setInvalidationHandler(nullptr);
        mine->invalidate();
    });
    connection->resume();
    std::lock_guard lock(connectionMutex_);
    // A connection that already ended is handed out (its sends fail at once) but not kept, so
    // the next use tries again.
    if (connection->isValid())
        currentConnection_ = connection;
    return connection;
}

void HelperManager::dropConnection()
{
    std::shared_ptr<HelperConnection> old;
    {
        std::lock_guard lock(connectionMutex_);
        old.swap(currentConnection_);
    }
    if (old) {
        old->setInvalidationHandler(nullptr);
        old->invalidate();
    }
}

HelperManager::HelperState HelperManager::checkHelperState(bool initialCheck)
{
    // Shared with the handlers, which may still run after a time-out: once `done` is set they
    // leave the result alone.
    struct Check {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        HelperState result = HelperState::startup;
    };
    auto check = std::make_shared<Check>();
    check->result = initialCheck ? HelperState::notIntstalled : HelperState::installationFailed;
    const std::string expected = expectedHelperVersion();

    auto connection = this->connection();
    proto::Request request;
    request.op = proto::getVersion;
    const std::uint32_t id = connection->send(
        request,
        [check, expected](const proto::Reply& reply) {
            std::lock_guard lock(check->mutex);
            if (check->done)
                return;
            check->result = !reply.error && reply.version == expected
                ? HelperState::installed
                : HelperState::incorrectVersion;
            check->done = true;
            check->cv.notify_all();
        },
        [this, check](const QString& description) {
            connectionErrorLogged(description);
            logApp(LogLevel::Default,
                   QStringLiteral("Helper state check error. %1")
                       .arg(HelperManagerError::connectionError(description).error().description));
            std::lock_guard lock(check->mutex);
            check->done = true;
            check->cv.notify_all();
        });

    std::unique_lock lock(check->mutex);
    if (!check->cv.wait_for(lock, options_.versionTimeout, [&] { return check->done; })) {
        check->done = true;
        lock.unlock();
        connection->cancel(id);
        logApp(LogLevel::Default, QStringLiteral("Helper state check timeout -- assuming not installed"));
        lock.lock();
    }
    return check->result;
}

void HelperManager::installIfNeeded()
{
    if (!options_.enabled)
        throw HelperManagerError::helperNotInstalled();
    std::lock_guard lock(installLock_);
    if (state() == HelperState::startup)
        setState(checkHelperState(true));
    if (state() == HelperState::installed)
        return;

    const HelperInstallOutcome outcome = installer().install();
    if (outcome.kind == HelperInstallOutcome::Kind::authorizationFailed)
        throw HelperManagerError::authorizationFailed(outcome.message);
    if (outcome.kind == HelperInstallOutcome::Kind::installFailed)
        throw HelperManagerError::blessingFailed(outcome.message);

    // Talk to the newly installed helper, not to the one answering before.
    dropConnection();
    setState(checkHelperState(false));
    switch (state()) {
    case HelperState::installed: return;
    case HelperState::startup: throw HelperManagerError::unknown();
    case HelperState::incorrectVersion: throw HelperManagerError::incorrectVersion();
    case HelperState::notIntstalled: throw HelperManagerError::helperNotInstalled();
    case HelperState::installationFailed: throw HelperManagerError::installationFailed();
    }
}

std::optional<platform::Error> HelperManager::installationError()
{
    try {
        installIfNeeded();
        return std::nullopt;
    } catch (const HelperManagerError& e) {
        return e.error();
    } catch (const std::exception& e) {
        return HelperManagerError::unknownInstallError(
                   platform::Error(QStringLiteral("exception"), 0, QString::fromLocal8Bit(e.what())))
            .error();
    }
}

void HelperManager::sendOnConnection(proto::Request request,
                                     std::function<void(HelperOperationResult)> finish)
{
    connection()->send(
        std::move(request), [finish](const proto::Reply& reply) { finish(resultOf(reply)); },
        [this, finish](const QString& description) {
            connectionErrorLogged(description);
            finish(HelperOperationResult::failure(
                HelperManagerError::connectionError(description).error()));
        });
}

void HelperManager::send(proto::Request request, Completion completion)
{
    if (!options_.enabled) {
        completion(HelperOperationResult::failure(HelperManagerError::helperNotInstalled().error()));
        return;
    }
    // An installation failure ends the operation here: nothing is sent to a helper that is
    // known to be absent or of another version.
    if (auto error = installationError()) {
        completion(HelperOperationResult::failure(std::move(*error)));
        return;
    }
    sendOnConnection(std::move(request), [this, completion](HelperOperationResult result) {
        completions_.async([completion, result = std::move(result)] { completion(result); });
    });
}

void HelperManager::sendSync(proto::Request request)
{
    if (!options_.enabled)
        throw HelperManagerError::helperNotInstalled();
    struct Call {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        HelperOperationResult result =
            HelperOperationResult::failure(HelperManagerError::unknown().error());
    };
    auto call = std::make_shared<Call>();
    if (auto error = installationError())
        call->result = HelperOperationResult::failure(std::move(*error));
    // The operation's own outcome replaces an installation error.
    sendOnConnection(std::move(request), [call](HelperOperationResult result) {
        std::lock_guard lock(call->mutex);
        call->result = std::move(result);
        call->done = true;
        call->cv.notify_all();
    });
    std::unique_lock lock(call->mutex);
    call->cv.wait(lock, [&] { return call->done; });
    if (!call->result.ok())
        throw HelperOperationError(*call->result.error);
}

namespace {

proto::Request requestFor(std::uint16_t op, const std::string& path, const std::string& to = {})
{
    proto::Request r;
    r.op = op;
    r.path = path;
    r.destination = to;
    return r;
}

} // namespace

void HelperManager::removeItem(const std::string& path, Completion completion)
{
    send(requestFor(proto::removeItem, path), std::move(completion));
}

void HelperManager::removeItem(const std::string& path)
{
    sendSync(requestFor(proto::removeItem, path));
}

void HelperManager::copyItem(const std::string& from, const std::string& to, Completion completion)
{
    send(requestFor(proto::copyItem, from, to), std::move(completion));
}

void HelperManager::copyItem(const std::string& from, const std::string& to)
{
    sendSync(requestFor(proto::copyItem, from, to));
}

void HelperManager::moveItem(const std::string& from, const std::string& to, Completion completion)
{
    send(requestFor(proto::moveItem, from, to), std::move(completion));
}

void HelperManager::moveItem(const std::string& from, const std::string& to)
{
    sendSync(requestFor(proto::moveItem, from, to));
}

void HelperManager::createDirectory(const std::string& path, bool withIntermediateDirectories,
                                    const std::optional<FileAttributes>& attributes,
                                    Completion completion)
{
    auto r = requestFor(proto::createDirectory, path);
    r.intermediateDirectories = withIntermediateDirectories;
    r.attributes = attributes;
    send(std::move(r), std::move(completion));
}

void HelperManager::createDirectory(const std::string& path, bool withIntermediateDirectories,
                                    const std::optional<FileAttributes>& attributes)
{
    auto r = requestFor(proto::createDirectory, path);
    r.intermediateDirectories = withIntermediateDirectories;
    r.attributes = attributes;
    sendSync(std::move(r));
}

void HelperManager::setAttributes(const FileAttributes& attributes, const std::string& path,
                                  Completion completion)
{
    auto r = requestFor(proto::setAttributes, path);
    r.attributes = attributes;
    send(std::move(r), std::move(completion));
}

void HelperManager::setAttributes(const FileAttributes& attributes, const std::string& path)
{
    auto r = requestFor(proto::setAttributes, path);
    r.attributes = attributes;
    sendSync(std::move(r));
}
