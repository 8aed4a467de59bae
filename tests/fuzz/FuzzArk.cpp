// Resource archives: the input is written as an ".ark" file and every entry it names is opened
// and read to its end, with loose-file fall-back for the names it lacks.
#include "engine/files/ssARKMan.h"
#include "tests/fuzz/FuzzScratch.h"
#include "tests/fuzz/FuzzQuiet.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

std::string scratchFolder()
{
    return fuzzsupport::scratchFolder("misc.ark");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::silenceEngineLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = scratchFolder() + "/misc.ark";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size))
        std::abort();
    ::close(fd);

    // The names to look up come from the table itself, whatever its state.
    std::vector<std::string> names = {"missing", "../escape"};
    uint32_t count = 0;
    if (size >= ssArkHeaderSize && ssArkDecodeHeader(data, &count)) {
        for (uint64_t i = 0; i < count && i < 64 && ssArkTableEnd(uint32_t(i + 1)) <= size; ++i) {
            ssArkEntry entry;
            if (ssArkDecodeEntry(data + ssArkHeaderSize + i * ssArkEntrySize, size, &entry))
                names.emplace_back(entry.name);
        }
    }
    ssARKMan archives(scratchFolder().c_str());
    char buffer[4096];
    for (const std::string& name : names) {
        std::unique_ptr<ssFile> file = archives.Open(name.c_str(), "", "misc.ark");
        if (!file)
            continue;
        const int64_t length = file->GetSize();
        int64_t total = 0;
        for (int64_t n; (n = file->Read(buffer, sizeof buffer)) > 0;)
            total += n;
        if (total > length || length > static_cast<int64_t>(size))
            std::abort();
    }
    return 0;
}
