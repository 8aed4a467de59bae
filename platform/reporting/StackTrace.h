#pragma once
// Stack frames of a report: an instruction address with the module (shared object or program)
// that holds it and the offset into that module, plus a symbol name when one is known.

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace platform::reporting {

struct StackFrame {
    std::uint64_t address = 0;
    std::string module;        // path of the mapped file; empty when unknown
    std::uint64_t offset = 0;  // address relative to the module
    std::string symbol;        // demangled, when the dynamic symbol table names it

    nlohmann::json toJson() const;
};

// The calling thread's stack, without the first skip frames (this function's own frame is
// never included). At most maxFrames frames.
std::vector<StackFrame> captureStack(int skip = 0, int maxFrames = 64);

// Module, offset and symbol of addresses taken in this process (dladdr).
StackFrame describeAddress(std::uint64_t address);

// "0x" and sixteen hexadecimal digits.
std::string hexAddress(std::uint64_t address);

} // namespace platform::reporting
