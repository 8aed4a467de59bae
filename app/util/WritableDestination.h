#pragma once
// Whether a text can be used as a file name on this file system.

#include <QString>

namespace WritableDestination {

// True when a file of that name can be created. The probe runs in a private temporary folder
// made for the call, creates exclusively and removes only what it created, so it never touches
// an existing file. Empty names and names with a ".." component are invalid.
bool isValidFilename(const QString& name);

} // namespace WritableDestination
