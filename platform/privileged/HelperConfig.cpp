#include "platform/privileged/HelperConfig.h"

#include "platform/privileged/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::privileged {

namespace {

constexpr std::size_t kMaxConfigSize = 64 * 1024;

template <class T>
void addUnique(std::vector<T>& list, T value)
{
    if (std::find(list.begin(), list.end(), value) == list.end())
        list.push_back(std::move(value));
}

} // namespace

bool HelperConfig::allowsUid(uid_t uid) const
{
    return std::find(allowedUids.begin(), allowedUids.end(), uid) != allowedUids.end();
}

bool HelperConfig::allowsExecutable(const std::string& path) const
{
    return clientExecutables.empty()
        || std::find(clientExecutables.begin(), clientExecutables.end(), path)
        != clientExecutables.end();
}

const std::vector<std::string>& defaultHelperRoots()
{
    static const std::vector<std::string> roots = {"/media", "/mnt", "/srv"};
    return roots;
}

bool parseHelperConfig(const std::string& text, HelperConfig& out, std::string& problem)
{
    HelperConfig config;
    std::size_t at = 0;
    int lineNumber = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (value.empty() || value.find('\0') != std::string::npos) {
            problem = where + "missing value";
            return false;
        }
        if (key == "allow-uid") {
            unsigned long uid = 0;
            auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), uid);
            if (ec != std::errc() || ptr != value.data() + value.size()
                || uid >= static_cast<unsigned long>(static_cast<uid_t>(-1))) {
                problem = where + "bad user id";
                return false;
            }
            addUnique(config.allowedUids, static_cast<uid_t>(uid));
        } else if (key == "client-executable" || key == "root") {
            if (value[0] != '/') {
                problem = where + "path must be absolute";
                return false;
            }
            addUnique(key == "root" ? config.roots : config.clientExecutables, value);
        } else {
            problem = where + "unknown keyword \"" + key + "\"";
            return false;
        }
    }
    out = std::move(config);
    return true;
}

std::string formatHelperConfig(const HelperConfig& config)
{
    std::string text = "# Written by the installer. Roots may be edited by the administrator;\n"
                       "# the helper acts only strictly below them.\n";
    for (uid_t uid : config.allowedUids)
        text += "allow-uid " + std::to_string(uid) + "\n";
    for (const auto& exe : config.clientExecutables)
        text += "client-executable " + exe + "\n";
    for (const auto& root : config.roots)
        text += "root " + root + "\n";
    return text;
}

int loadHelperConfig(const std::string& path, HelperConfig& out, std::string& problem)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    const auto failed = [&](const char* what, int err) {
        problem = std::string(what) + " " + path + ": " + std::strerror(err);
        return err;
    };
    if (!fd.valid())
        return failed("cannot open", errno);
    struct stat st;
    if (::fstat(fd.get(), &st) < 0)
        return failed("cannot examine", errno);
    if (!S_ISREG(st.st_mode) || (st.st_uid != 0 && st.st_uid != ::geteuid())
        || (st.st_mode & (S_IWGRP | S_IWOTH))) {
        problem = path + " must be a regular file owned by root and writable by its owner only";
        return EPERM;
    }
    if (st.st_size > static_cast<off_t>(kMaxConfigSize)) {
        problem = path + " is too large";
        return EFBIG;
    }
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::read(fd.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failed("cannot read", errno);
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    if (!parseHelperConfig(text, out, problem)) {
        problem = path + ": " + problem;
        return EINVAL;
    }
    return 0;
}

} // namespace platform::privileged
