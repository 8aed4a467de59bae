#pragma once
// Where a recording goes: "<dir>/<name>.mov", or the first free "<dir>/<name>_<i>.mov". A path
// is free when no file is there and no other recording of the application has claimed it; the
// file is then created exclusively, so two channels (or another program) racing for one name
// never share a file.

#include <QString>

#include <functional>

namespace KLVRecordingPath {

using Claimed = std::function<bool(const QString& path)>;

// The first candidate that is not on disk and not claimed; empty when dir or name is empty.
QString nextFreePath(const QString& dir, const QString& name, const Claimed& claimed);

// Creates the first free candidate exclusively (an empty file) and answers its path; an empty
// path and the reason in error when no file could be made.
QString createRecordingFile(const QString& dir, const QString& name, const Claimed& claimed, QString* error);

} // namespace KLVRecordingPath
