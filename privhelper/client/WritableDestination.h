#pragma once
// File operations that succeed where the user lacks the rights: each is tried with the user's
// own rights first and, only when that is refused for lack of permission (EACCES, EPERM),
// repeated by the privileged helper. Any other local failure (a missing item, an existing
// destination, a full disk, another file system) is reported as it is: the helper would fail
// the same way or, worse, succeed where it should not.
//
// The synchronous forms answer true, or false with the error stored through `error` when it is
// not null. The asynchronous forms call their completion exactly once: on the calling thread
// when the result is known at once, otherwise on the helper manager's completion queue.
// Paths are byte strings. Every function uses HelperManager::shared() unless given a manager.

#include "platform/foundation/Error.h"
#include "platform/privileged/FileAttributes.h"
#include "privhelper/client/HelperManager.h"

#include <optional>
#include <string>

namespace WritableDestination {

using platform::privileged::FileAttributes;
using Completion = HelperManager::Completion;

// Verifies the helper and installs it when needed (see HelperManager::installIfNeeded). With
// the helper switched off it does nothing and answers true.
bool installPrivilegedHelperAndReturnError(platform::Error* error,
                                           HelperManager& manager = HelperManager::shared());

bool authenticatedRemoveItemAt(const std::string& path, platform::Error* error,
                               HelperManager& manager = HelperManager::shared());
bool authenticatedCopyItemAt(const std::string& from, const std::string& to, platform::Error* error,
                             HelperManager& manager = HelperManager::shared());
bool authenticatedMoveItemAt(const std::string& from, const std::string& to, platform::Error* error,
                             HelperManager& manager = HelperManager::shared());
bool authenticatedCreateDirectoryAt(const std::string& path, bool withIntermediateDirectories,
                                    const std::optional<FileAttributes>& attributes,
                                    platform::Error* error,
                                    HelperManager& manager = HelperManager::shared());
bool authenticatedSetAttributes(const FileAttributes& attributes, const std::string& ofItemAt,
                                platform::Error* error,
                                HelperManager& manager = HelperManager::shared());
// Moves from onto to, replacing what is there: an existing destination is first moved aside
// next to itself, the source is moved in, and only then is the old destination deleted; when
// the move fails, the old destination is put back. A missing parent folder chain is created.
bool safeAuthenticatedMoveItemAt(const std::string& from, const std::string& to,
                                 platform::Error* error,
                                 HelperManager& manager = HelperManager::shared());

void authenticatedRemoveItem(const std::string& path, Completion completion,
                             HelperManager& manager = HelperManager::shared());
void authenticatedCopyItem(const std::string& from, const std::string& to, Completion completion,
                           HelperManager& manager = HelperManager::shared());
void authenticatedMoveItem(const std::string& from, const std::string& to, Completion completion,
                           HelperManager& manager = HelperManager::shared());
void authenticatedCreateDirectory(const std::string& path, bool withIntermediateDirectories,
                                  const std::optional<FileAttributes>& attributes,
                                  Completion completion,
                                  HelperManager& manager = HelperManager::shared());
// Named apart from the synchronous form, so that a null error pointer is never taken for an
// empty completion.
void authenticatedSetAttributesWithCompletion(const FileAttributes& attributes,
                                              const std::string& ofItemAt, Completion completion,
                                              HelperManager& manager = HelperManager::shared());
void safeAuthenticatedMoveItem(const std::string& from, const std::string& to,
                               Completion completion,
                               HelperManager& manager = HelperManager::shared());

// The error of a local attempt, in the domain "posix".
platform::Error posixError(int errnoValue);
// Whether a local failure is one the helper's rights could overcome.
bool shouldFallBackToHelper(int errnoValue);

} // namespace WritableDestination
