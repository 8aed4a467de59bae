// Runs a fuzz entry point once over every file of the given corpus folders (or files), in name
// order, as libFuzzer would replay them. Builds with any compiler, so the suite replays every
// corpus in the ordinary build. An empty or missing corpus is a failure: it would prove nothing.
// Arguments starting with "-" are options in libFuzzer's form; -malloc_limit_mb=N is obeyed (the
// suite passes the limit scripts/fuzz runs with), others are left to the target.
#include "tests/fuzz/replay/ReplayMemoryLimit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        static constexpr char kMallocLimit[] = "-malloc_limit_mb=";
        if (argv[i][0] == '-') {
            if (std::strncmp(argv[i], kMallocLimit, sizeof kMallocLimit - 1) == 0)
                fuzzreplay::setMallocLimit(std::size_t(std::strtoull(argv[i] + sizeof kMallocLimit - 1, nullptr, 10)) << 20);
            continue;
        }
        std::error_code ec;
        if (fs::is_directory(argv[i], ec)) {
            for (const auto& entry : fs::directory_iterator(argv[i], ec))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else if (fs::is_regular_file(argv[i], ec)) {
            files.emplace_back(argv[i]);
        } else {
            std::fprintf(stderr, "no corpus at %s\n", argv[i]);
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "the corpus is empty\n");
        return 2;
    }
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        // On standard error, where the targets' log lines go too.
        std::fprintf(stderr, "%s (%zu bytes)\n", path.filename().c_str(), bytes.size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::fprintf(stderr, "replayed %zu inputs\n", files.size());
    return 0;
}
