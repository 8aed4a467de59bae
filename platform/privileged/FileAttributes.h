#pragma once
// The file attributes the helper can set. Every field is optional; an empty set changes nothing.

#include <cstdint>
#include <optional>
#include <sys/types.h>

namespace platform::privileged {

struct FileAttributes {
    std::optional<std::uint32_t> posixPermissions;    // mode bits
    std::optional<std::uint32_t> ownerAccountID;      // uid
    std::optional<std::uint32_t> groupOwnerAccountID; // gid
    std::optional<std::int64_t> modificationDate;     // nanoseconds since the Unix epoch

    bool empty() const
    {
        return !posixPermissions && !ownerAccountID && !groupOwnerAccountID && !modificationDate;
    }
    bool operator==(const FileAttributes&) const = default;
};

} // namespace platform::privileged
