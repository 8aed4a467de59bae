#pragma once
// Saving a file so that a crash or power loss leaves either the old or the new contents, never
// a mix: write to a temporary file in the same folder, fsync, rename over the target, fsync the
// folder. An existing file's permissions are kept; a symbolic link's target is replaced.

#include "platform/foundation/Error.h"

#include <QByteArray>
#include <QString>

namespace platform {

inline constexpr const char* kFileErrorDomain = "FileErrorDomain";

// Creates missing parent folders. False on failure (error in kFileErrorDomain with the errno as
// its code; the failure reason names the step, its path and the system's reason); the target is
// then untouched and no temporary file is left.
bool writeFileAtomically(const QString& path, const QByteArray& data, Error* error = nullptr);

} // namespace platform
