#include "platform/reporting/StackTrace.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace platform::reporting {

nlohmann::json StackFrame::toJson() const
{
    nlohmann::json frame = {{"frameAddress", hexAddress(address)}};
    if (!module.empty()) {
        frame["module"] = module;
        frame["offset"] = hexAddress(offset);
    }
    if (!symbol.empty())
        frame["method"] = symbol;
    return frame;
}

std::string hexAddress(std::uint64_t address)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(address));
    return text;
}

StackFrame describeAddress(std::uint64_t address)
{
    StackFrame frame;
    frame.address = address;
    Dl_info info {};
    if (dladdr(reinterpret_cast<void*>(address), &info) && info.dli_fname) {
        frame.module = info.dli_fname;
        frame.offset = address - reinterpret_cast<std::uint64_t>(info.dli_fbase);
        if (info.dli_sname) {
            int status = 0;
            char* demangled = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status);
            frame.symbol = status == 0 && demangled ? demangled : info.dli_sname;
            std::free(demangled);
        }
    }
    return frame;
}

std::vector<StackFrame> captureStack(int skip, int maxFrames)
{
    constexpr int kLimit = 128;
    void* addresses[kLimit];
    const int wanted = std::min(kLimit, maxFrames + skip + 1);
    const int count = backtrace(addresses, wanted);
    std::vector<StackFrame> frames;
    for (int i = 1 + skip; i < count; ++i)
        frames.push_back(describeAddress(reinterpret_cast<std::uint64_t>(addresses[i])));
    return frames;
}

} // namespace platform::reporting
