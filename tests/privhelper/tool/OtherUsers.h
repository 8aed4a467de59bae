#pragma once
// Running a client as other, unprivileged users (the tests need root to do so), and reading
// who owns what afterwards.

#include "privhelper/shared/PrivilegedHelperProtocol.h"
#include "platform/privileged/FileAttributes.h"
#include "tests/privhelper/support/ToolProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <grp.h>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace privtest::users {

namespace proto = PrivilegedHelperProtocol;

inline constexpr uid_t kUser = 4301;
inline constexpr gid_t kGroup = 4301;
inline constexpr uid_t kOtherUser = 4302;

// Runs body in a child process as kUser:kGroup without supplementary groups. Answers the
// child's exit status: 0 when body passed, else the number of its first failed step.
inline int asUser(const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kGroup, kGroup, kGroup) != 0
            || ::setresuid(kUser, kUser, kUser) != 0)
            ::_exit(100);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// 0 when every step holds, else the number (from 1) of the first that does not.
inline int firstFailedStep(std::initializer_list<bool> steps)
{
    int n = 1;
    for (bool ok : steps) {
        if (!ok) {
            std::fprintf(stderr, "step %d failed\n", n);
            return n;
        }
        ++n;
    }
    return 0;
}

inline std::int64_t code(const std::optional<proto::Reply>& reply)
{
    return reply && reply->error ? reply->error->code : (reply ? 0 : -1);
}

inline proto::Request attributes(const std::string& path, platform::privileged::FileAttributes a)
{
    auto r = request(proto::setAttributes, path);
    r.attributes = a;
    return r;
}

struct Owner {
    uid_t uid = 0;
    gid_t gid = 0;
    mode_t mode = 0;
    bool operator==(const Owner&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Owner& o)
    {
        return out << o.uid << ":" << o.gid << " " << std::oct << o.mode << std::dec;
    }
};

inline Owner ownerOf(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return {static_cast<uid_t>(-1), static_cast<gid_t>(-1), 0};
    return {st.st_uid, st.st_gid, st.st_mode & 07777};
}

inline std::string giveTo(const std::string& path, uid_t uid)
{
    EXPECT_EQ(::lchown(path.c_str(), uid, uid), 0) << path;
    return path;
}

} // namespace privtest::users
