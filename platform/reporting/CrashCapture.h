#pragma once
// Capture of fatal signals and uncaught C++ exceptions into a crash file, turned into a report
// at the next start.
//
// install() opens the crash file once (later writes need no allocation or lookup), sets an
// alternate signal stack for the calling thread (a stack overflow there can still be
// recorded; other threads' handlers run on their own stacks), and installs handlers for
// SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT and SIGTRAP plus a std::terminate handler.
// On a crash the handler writes, with async-signal-safe calls only: the signal, its code and
// address, the raw frame addresses, the last snapshot handed to setSnapshot() and a copy of
// /proc/self/maps (so frames can be placed in their modules later). It then gives the signal
// back to the previous disposition so the process dies as it would have.
//
// One capture per process; install() again replaces the file.

#include "platform/reporting/StackTrace.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::reporting {

class CrashCapture {
public:
    // Largest snapshot kept for a crash; longer ones are refused (setSnapshot answers false).
    static constexpr std::size_t kMaxSnapshotBytes = 192 * 1024;

    // False when the file cannot be opened (nothing is installed then).
    static bool install(const std::string& crashFilePath);
    // Restores the previous handlers and closes the file.
    static void uninstall();
    static bool isInstalled();

    // The JSON written with a crash (breadcrumbs, session, app): copied into a preallocated
    // buffer, so the handler never allocates.
    static bool setSnapshot(std::string_view json);

    // The program is about to stop after it has already persisted its own report (a fatal
    // error): the crash that follows writes nothing.
    static void suppressNextCrash();
};

// What a crash file holds.
struct CrashRecord {
    std::string kind;             // "signal" or "exception"
    int signal = 0;
    std::string signalName;       // "SIGSEGV"
    int code = 0;                 // si_code
    std::uint64_t address = 0;    // faulting address
    std::int64_t timeMillis = 0;
    std::string exceptionType;    // uncaught exception: its type
    std::string exceptionMessage; // and what()
    std::vector<StackFrame> frames; // placed in their modules through the saved memory map
    std::string snapshot;
};

// Nothing for a missing, empty or unreadable file. Bounded: a damaged file never makes it
// read more than the file holds or allocate without limit.
std::optional<CrashRecord> readCrashFile(const std::string& path);

const char* signalName(int signal);        // "SIGSEGV"; "SIG<n>" is not produced: "" for others
const char* signalDescription(int signal); // "Segmentation fault"

} // namespace platform::reporting
