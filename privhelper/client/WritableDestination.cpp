#include "privhelper/client/WritableDestination.h"

#include "platform/foundation/Log.h"
#include "privhelper/client/LocalFileOperations.h"
#include "privhelper/shared/HelperService.h"
#include "privhelper/shared/PrivilegedHelperProtocol.h"

#include <atomic>
#include <cerrno>
#include <memory>
#include <unistd.h>

namespace WritableDestination {

namespace {

using Result = HelperOperationResult;

void logApp(platform::LogLevel level, const QString& text)
{
    platform::log(HelperService::logSubsystem, "App", level, text);
}

// Runs the local step; on a permission failure runs the helper's synchronous form.
template <class Helper>
bool withFallback(int localResult, platform::Error* error, Helper&& helper)
{
    if (localResult == 0)
        return true;
    if (!shouldFallBackToHelper(localResult)) {
        platform::setError(error, posixError(localResult));
        return false;
    }
    try {
        helper();
        return true;
    } catch (const HelperOperationError& e) {
        platform::setError(error, e.error());
        return false;
    }
}

template <class Helper>
void withFallbackAsync(int localResult, const Completion& completion, Helper&& helper)
{
    if (localResult == 0) {
        completion(Result::success());
        return;
    }
    if (!shouldFallBackToHelper(localResult)) {
        completion(Result::failure(posixError(localResult)));
        return;
    }
    helper(completion);
}

// A name next to the destination for keeping it while the new item moves in.
std::string asidePath(const std::string& destination)
{
    static std::atomic<unsigned> counter{0};
    std::string parent = LocalFileOperations::parentPath(destination);
    if (parent != "/")
        parent += "/";
    return parent + ".kalvanto-aside-" + std::to_string(::getpid()) + "-"
        + std::to_string(counter.fetch_add(1));
}

void logRestoreFailure(const std::string& aside, const std::string& to, const platform::Error& e)
{
    logApp(platform::LogLevel::Error,
           QStringLiteral("Could not put %1 back as %2: %3")
               .arg(QString::fromStdString(aside), QString::fromStdString(to), e.description));
}

void logAsideLeft(const std::string& aside, const platform::Error& e)
{
    logApp(platform::LogLevel::Error, QStringLiteral("Could not remove the replaced item %1: %2")
                                          .arg(QString::fromStdString(aside), e.description));
}

} // namespace

platform::Error posixError(int errnoValue)
{
    const auto e = PrivilegedHelperProtocol::posixError(errnoValue);
    return platform::Error(QString::fromLatin1(PrivilegedHelperProtocol::kPosixDomain), e.code,
                           QString::fromStdString(e.description));
}

bool shouldFallBackToHelper(int errnoValue)
{
    return errnoValue == EACCES || errnoValue == EPERM;
}

bool installPrivilegedHelperAndReturnError(platform::Error* error, HelperManager& manager)
{
    if (!manager.enabled()) {
        logApp(platform::LogLevel::Info, QStringLiteral("Privileged helper switched off"));
        return true;
    }
    try {
        manager.installIfNeeded();
        return true;
    } catch (const HelperOperationError& e) {
        platform::setError(error, e.error());
        return false;
    }
}

bool authenticatedRemoveItemAt(const std::string& path, platform::Error* error,
                               HelperManager& manager)
{
    return withFallback(LocalFileOperations::removeItem(path), error,
                        [&] { manager.removeItem(path); });
}

bool authenticatedCopyItemAt(const std::string& from, const std::string& to, platform::Error* error,
                             HelperManager& manager)
{
    return withFallback(LocalFileOperations::copyItem(from, to), error,
                        [&] { manager.copyItem(from, to); });
}

bool authenticatedMoveItemAt(const std::string& from, const std::string& to, platform::Error* error,
                             HelperManager& manager)
{
    return withFallback(LocalFileOperations::moveItem(from, to), error,
                        [&] { manager.moveItem(from, to); });
}

bool authenticatedCreateDirectoryAt(const std::string& path, bool withIntermediateDirectories,
                                    const std::optional<FileAttributes>& attributes,
                                    platform::Error* error, HelperManager& manager)
{
    const int local = LocalFileOperations::createDirectory(path, withIntermediateDirectories,
                                                           attributes ? &*attributes : nullptr);
    return withFallback(local, error, [&] {
        manager.createDirectory(path, withIntermediateDirectories, attributes);
    });
}

bool authenticatedSetAttributes(const FileAttributes& attributes, const std::string& ofItemAt,
                                platform::Error* error, HelperManager& manager)
{
    return withFallback(LocalFileOperations::setAttributes(attributes, ofItemAt), error,
                        [&] { manager.setAttributes(attributes, ofItemAt); });
}

bool safeAuthenticatedMoveItemAt(const std::string& from, const std::string& to,
                                 platform::Error* error, HelperManager& manager)
{
    std::string aside;
    if (LocalFileOperations::itemExists(to)) {
        aside = asidePath(to);
        if (!authenticatedMoveItemAt(to, aside, error, manager))
            return false;
    } else {
        const std::string parent = LocalFileOperations::parentPath(to);
        if (!LocalFileOperations::isDirectory(parent)
            && !authenticatedCreateDirectoryAt(parent, true, std::nullopt, error, manager))
            return false;
    }
    platform::Error moveError;
    if (!authenticatedMoveItemAt(from, to, &moveError, manager)) {
        platform::Error restoreError;
        if (!aside.empty() && !authenticatedMoveItemAt(aside, to, &restoreError, manager))
            logRestoreFailure(aside, to, restoreError);
        platform::setError(error, moveError);
        return false;
    }
    platform::Error removeError;
    if (!aside.empty() && !authenticatedRemoveItemAt(aside, &removeError, manager))
        logAsideLeft(aside, removeError);
    return true;
}

void authenticatedRemoveItem(const std::string& path, Completion completion, HelperManager& manager)
{
    withFallbackAsync(LocalFileOperations::removeItem(path), completion,
                      [&](Completion c) { manager.removeItem(path, std::move(c)); });
}

void authenticatedCopyItem(const std::string& from, const std::string& to, Completion completion,
                           HelperManager& manager)
{
    withFallbackAsync(LocalFileOperations::copyItem(from, to), completion,
                      [&](Completion c) { manager.copyItem(from, to, std::move(c)); });
}

void authenticatedMoveItem(const std::string& from, const std::string& to, Completion completion,
                           HelperManager& manager)
{
    withFallbackAsync(LocalFileOperations::moveItem(from, to), completion,
                      [&](Completion c) { manager.moveItem(from, to, std::move(c)); });
}

void authenticatedCreateDirectory(const std::string& path, bool withIntermediateDirectories,
                                  const std::optional<FileAttributes>& attributes,
                                  Completion completion, HelperManager& manager)
{
    const int local = LocalFileOperations::createDirectory(path, withIntermediateDirectories,
                                                           attributes ? &*attributes : nullptr);
    withFallbackAsync(local, completion, [&](Completion c) {
        manager.createDirectory(path, withIntermediateDirectories, attributes, std::move(c));
    });
}

void authenticatedSetAttributesWithCompletion(const FileAttributes& attributes,
                                              const std::string& ofItemAt, Completion completion,
                                              HelperManager& manager)
{
    withFallbackAsync(LocalFileOperations::setAttributes(attributes, ofItemAt), completion,
                      [&](Completion c) { manager.setAttributes(attributes, ofItemAt, std::move(c)); });
}

void safeAuthenticatedMoveItem(const std::string& from, const std::string& to,
                               Completion completion, HelperManager& manager)
{
    const std::string aside = LocalFileOperations::itemExists(to) ? asidePath(to) : std::string();
    HelperManager* m = &manager;

    // Step 3: move the source in; put the old destination back on failure, delete it on success.
    auto moveIn = [from, to, aside, completion, m] {
        authenticatedMoveItem(from, to, [to, aside, completion, m](const Result& moved) {
            if (aside.empty()) {
                completion(moved);
            } else if (!moved.ok()) {
                authenticatedMoveItem(aside, to, [aside, to, completion, moved](const Result& r) {
                    if (!r.ok())
                        logRestoreFailure(aside, to, *r.error);
                    completion(moved);
                }, *m);
            } else {
                authenticatedRemoveItem(aside, [aside, completion](const Result& r) {
                    if (!r.ok())
                        logAsideLeft(aside, *r.error);
                    completion(Result::success());
                }, *m);
            }
        }, *m);
    };

    if (!aside.empty()) {
        authenticatedMoveItem(to, aside, [completion, moveIn](const Result& r) {
            if (r.ok())
                moveIn();
            else
                completion(r);
        }, manager);
        return;
    }
    const std::string parent = LocalFileOperations::parentPath(to);
    if (LocalFileOperations::isDirectory(parent)) {
        moveIn();
        return;
    }
    authenticatedCreateDirectory(parent, true, std::nullopt, [completion, moveIn](const Result& r) {
        if (r.ok())
            moveIn();
        else
            completion(r);
    }, manager);
}

} // namespace WritableDestination
