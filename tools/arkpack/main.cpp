// arkpack out.ark file...
//
// Packs the files into a resource archive. Each entry is named by its file's base name (at most
// 31 bytes, unique without regard to ASCII case, as the reader matches them); data follows the
// entry table in the order given. The archive is written beside its final path and renamed into
// place, so a failed run never leaves a half-written archive.

#include "engine/base/ssStrEqualNoCase.h"
#include "engine/files/ssArkFormat.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Input {
    std::string path;
    ssArkEntry entry{};
};

bool fail(const std::string& message)
{
    fprintf(stderr, "arkpack: %s\n", message.c_str());
    return false;
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool writeAll(int fd, const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Names, sizes and offsets of every input; false (with a message) when one cannot be packed.
bool planEntries(std::vector<Input>& inputs)
{
    uint64_t offset = ssArkTableEnd(static_cast<uint32_t>(inputs.size()));
    for (size_t i = 0; i < inputs.size(); ++i) {
        Input& input = inputs[i];
        const std::string name = baseName(input.path);
        if (name.empty() || name.size() > ssArkMaxNameLength)
            return fail("entry name '" + name + "' must be 1 to "
                        + std::to_string(ssArkMaxNameLength) + " bytes");
        for (size_t j = 0; j < i; ++j) {
            if (ssStrEqualNoCase(inputs[j].entry.name, name.c_str()) == 0)
                return fail("two entries named '" + name + "'");
        }
        struct stat status{};
        if (stat(input.path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
            return fail("cannot read file " + input.path);
        const uint64_t size = static_cast<uint64_t>(status.st_size);
        if (offset + size > UINT32_MAX)
            return fail("archive would exceed 4 GiB");
        memcpy(input.entry.name, name.c_str(), name.size());
        input.entry.offset = static_cast<uint32_t>(offset);
        input.entry.size = static_cast<uint32_t>(size);
        offset += size;
    }
    return true;
}

bool copyData(int out, const Input& input)
{
    const int in = open(input.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return fail("cannot open " + input.path);
    char buffer[1 << 16];
    uint64_t left = input.entry.size;
    bool ok = true;
    while (ok && left > 0) {
        ssize_t got = read(in, buffer, left < sizeof buffer ? left : sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            ok = fail(input.path + " changed while it was packed");
        else if (!writeAll(out, buffer, static_cast<size_t>(got)))
            ok = fail("write failed");
        else
            left -= static_cast<uint64_t>(got);
    }
    close(in);
    return ok;
}

bool pack(const std::string& outPath, std::vector<Input>& inputs)
{
    if (!planEntries(inputs))
        return false;

    std::vector<uint8_t> table(ssArkTableEnd(static_cast<uint32_t>(inputs.size())));
    ssArkEncodeHeader(static_cast<uint32_t>(inputs.size()), table.data());
    for (size_t i = 0; i < inputs.size(); ++i)
        ssArkEncodeEntry(inputs[i].entry, &table[ssArkHeaderSize + i * ssArkEntrySize]);

    std::string temporary = outPath + ".XXXXXX";
    const int out = mkstemp(temporary.data());
    if (out < 0)
        return fail("cannot create " + temporary);
    bool ok = writeAll(out, table.data(), table.size()) || fail("write failed");
    for (const Input& input : inputs) {
        if (!ok)
            break;
        ok = copyData(out, input);
    }
    ok = ok && (fchmod(out, 0644) == 0 || fail("cannot set permissions"));
    ok = ok && (fsync(out) == 0 || fail("cannot flush " + temporary));
    if (close(out) != 0 && ok)
        ok = fail("cannot close " + temporary);
    ok = ok && (rename(temporary.c_str(), outPath.c_str()) == 0 || fail("cannot write " + outPath));
    if (!ok)
        unlink(temporary.c_str());
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: arkpack out.ark file...\n");
        return 2;
    }
    std::vector<Input> inputs;
    for (int i = 2; i < argc; ++i)
        inputs.push_back(Input{argv[i], {}});
    return pack(argv[1], inputs) ? 0 : 1;
}
