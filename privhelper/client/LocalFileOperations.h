#pragma once
// The ordinary, unprivileged form of each file operation: what the file operations try first,
// with the user's own rights. Intermediate path components are followed like any program
// would; the item itself is never followed (removing a link removes the link). Recursive
// work shares the descriptor-based code of the helper. Every function answers 0 or an errno.

#include "platform/privileged/FileAttributes.h"

#include <string>

namespace LocalFileOperations {

int removeItem(const std::string& path);
int copyItem(const std::string& from, const std::string& to);
int moveItem(const std::string& from, const std::string& to);
int createDirectory(const std::string& path, bool withIntermediateDirectories,
                    const platform::privileged::FileAttributes* attributes);
int setAttributes(const platform::privileged::FileAttributes& attributes, const std::string& path);

// Something (anything, a dangling link too) exists at path.
bool itemExists(const std::string& path);
bool isDirectory(const std::string& path);
// The path without its last component ("/" for "/x", "." for "x").
std::string parentPath(const std::string& path);

} // namespace LocalFileOperations
