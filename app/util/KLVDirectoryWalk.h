#pragma once
// Directory listing shared by the import helpers: entries sorted by name, and a record of the
// folders already entered (device and inode) so symbolic-link loops end.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <set>
#include <utility>

class KLVDirectoryWalk {
public:
    // True when path is a folder not entered before in this walk (it is recorded as entered).
    bool enter(const QString& path);
    // Names in the folder (hidden ones included, "." and ".." not), sorted; empty when it cannot
    // be read.
    static QStringList entryNames(const QString& path);
    static bool isDirectory(const QString& path);
    // path + "/" + name, without doubling a trailing slash.
    static QString join(const QString& path, const QString& name);

private:
    std::set<std::pair<std::uint64_t, std::uint64_t>> entered_;
};
