#include "platform/reporting/CrashCapture.h"

#include <cxxabi.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstring>
#include <exception>
#include <fstream>
#include <mutex>
#include <sstream>
#include <typeinfo>

namespace platform::reporting {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP};
constexpr int kMaxFrames = 128;
constexpr std::size_t kMaxExceptionText = 4096;
constexpr std::size_t kMaxCrashFileBytes = 16u << 20;

// Everything the handler touches lives here, allocated before any crash.
struct CaptureState {
    std::atomic<int> fd {-1};
    std::atomic<bool> written {false};   // a crash has been recorded (or suppressed)
    std::atomic<int> activeSnapshot {0};
    char snapshots[2][CrashCapture::kMaxSnapshotBytes];
    std::size_t snapshotLength[2] = {0, 0};
    struct sigaction previous[NSIG];
    std::terminate_handler previousTerminate = nullptr;
    bool installed = false;
    bool ownAltStack = false;
    alignas(16) char altStack[64 * 1024];
};

CaptureState& state()
{
    static CaptureState* s = new CaptureState(); // never destroyed: a late crash may still need it
    return *s;
}

std::mutex& installMutex()
{
    static std::mutex m;
    return m;
}

// --- async-signal-safe writing -------------------------------------------------------------

void writeAll(int fd, const char* data, std::size_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
}

void writeText(int fd, const char* text)
{
    writeAll(fd, text, std::strlen(text));
}

void writeUnsigned(int fd, std::uint64_t value, int base = 10)
{
    char digits[32];
    const auto r = std::to_chars(digits, digits + sizeof digits, value, base);
    writeAll(fd, digits, static_cast<std::size_t>(r.ptr - digits));
}

void writeSigned(int fd, std::int64_t value)
{
    char digits[32];
    const auto r = std::to_chars(digits, digits + sizeof digits, value);
    writeAll(fd, digits, static_cast<std::size_t>(r.ptr - digits));
}

void writeLine(int fd, const char* key, std::uint64_t value, int base = 10)
{
    writeText(fd, key);
    writeText(fd, base == 16 ? " 0x" : " ");
    writeUnsigned(fd, value, base);
    writeText(fd, "\n");
}

// "key <length>\n<bytes>\n": lengths make binary or multi-line values safe to read back.
void writeBlock(int fd, const char* key, const char* data, std::size_t length)
{
    writeText(fd, key);
    writeText(fd, " ");
    writeUnsigned(fd, length);
    writeText(fd, "\n");
    writeAll(fd, data, length);
    writeText(fd, "\n");
}

std::uint64_t faultingPc(void* context)
{
    if (!context)
        return 0;
    const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return static_cast<std::uint64_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<std::uint64_t>(uc->uc_mcontext.pc);
#else
    (void)uc;
    return 0;
#endif
}

void writeRecord(int fd, const char* kind, int sig, int code, std::uint64_t address, std::uint64_t pc,
                 const char* exceptionType, const char* exceptionMessage)
{
    writeText(fd, "crash 1\nkind ");
    writeText(fd, kind);
    writeText(fd, "\n");
    writeLine(fd, "signal", static_cast<std::uint64_t>(sig));
    writeText(fd, "code ");
    writeSigned(fd, code);
    writeText(fd, "\n");
    writeLine(fd, "address", address, 16);
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    writeText(fd, "time ");
    writeSigned(fd, static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
    writeText(fd, "\n");
    if (exceptionType)
        writeBlock(fd, "exception-type", exceptionType, strnlen(exceptionType, kMaxExceptionText));
    if (exceptionMessage)
        writeBlock(fd, "exception-message", exceptionMessage, strnlen(exceptionMessage, kMaxExceptionText));

    // The faulting instruction first, then the unwound stack from the frame that was
    // interrupted (the handler's own frames and the signal trampoline are left out).
    void* frames[kMaxFrames];
    const int count = backtrace(frames, kMaxFrames);
    int first = 0;
    if (pc) {
        writeLine(fd, "frame", pc, 16);
        for (int i = 0; i < count; ++i) {
            if (reinterpret_cast<std::uint64_t>(frames[i]) == pc) {
                first = i + 1;
                break;
            }
        }
    }
    for (int i = first; i < count; ++i)
        writeLine(fd, "frame", reinterpret_cast<std::uint64_t>(frames[i]), 16);

    CaptureState& s = state();
    const int active = s.activeSnapshot.load();
    writeBlock(fd, "snapshot", s.snapshots[active], s.snapshotLength[active]);

    writeText(fd, "maps\n");
    const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps >= 0) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(maps, buffer, sizeof buffer)) > 0)
            writeAll(fd, buffer, static_cast<std::size_t>(n));
        ::close(maps);
    }
    fsync(fd);
}

void reraise(int sig, siginfo_t* info)
{
    CaptureState& s = state();
    struct sigaction previous = s.previous[sig];
    if (previous.sa_handler == SIG_IGN)
        previous.sa_handler = SIG_DFL;
    sigaction(sig, &previous, nullptr);
    // A fault raised by the kernel comes back when the instruction runs again on return;
    // a signal someone sent (abort, kill) is sent again and delivered once we return.
    if (!info || info->si_code <= 0)
        raise(sig);
}

void onSignal(int sig, siginfo_t* info, void* context)
{
    CaptureState& s = state();
    const int fd = s.fd.load();
    if (fd >= 0 && !s.written.exchange(true)) {
        writeRecord(fd, "signal", sig, info ? info->si_code : 0,
                    info ? reinterpret_cast<std::uint64_t>(info->si_addr) : 0, faultingPc(context), nullptr,
                    nullptr);
    }
    reraise(sig, info);
}

void onTerminate()
{
    CaptureState& s = state();
    const int fd = s.fd.load();
    if (fd >= 0 && !s.written.exchange(true)) {
        std::string type = "unknown exception";
        std::string message;
        if (std::exception_ptr current = std::current_exception()) {
            if (const std::type_info* t = abi::__cxa_current_exception_type()) {
                int status = 0;
                char* demangled = abi::__cxa_demangle(t->name(), nullptr, nullptr, &status);
                type = status == 0 && demangled ? demangled : t->name();
                std::free(demangled);
            }
            try {
                std::rethrow_exception(current);
            } catch (const std::exception& e) {
                message = e.what();
            } catch (...) {
            }
        } else {
            type = "std::terminate";
        }
        writeRecord(fd, "exception", SIGABRT, 0, 0, 0, type.c_str(), message.c_str());
    }
    if (s.previousTerminate)
        s.previousTerminate();
    std::abort();
}

} // namespace

bool CrashCapture::install(const std::string& crashFilePath)
{
    std::lock_guard lock(installMutex());
    CaptureState& s = state();
    const int fd = ::open(crashFilePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const int old = s.fd.exchange(fd);
    if (old >= 0)
        ::close(old);
    s.written = false;
    if (s.installed)
        return true;

    // backtrace() loads its unwinder on first use; do that now, not inside a handler.
    void* warm[4];
    backtrace(warm, 4);

    stack_t current {};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE)) {
        stack_t alt {};
        alt.ss_sp = s.altStack;
        alt.ss_size = sizeof s.altStack;
        s.ownAltStack = sigaltstack(&alt, nullptr) == 0;
    }
    for (int sig : kSignals) {
        struct sigaction action {};
        action.sa_sigaction = onSignal;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(sig, &action, &s.previous[sig]);
    }
    s.previousTerminate = std::set_terminate(onTerminate);
    s.installed = true;
    return true;
}

void CrashCapture::uninstall()
{
    std::lock_guard lock(installMutex());
    CaptureState& s = state();
    if (!s.installed)
        return;
    for (int sig : kSignals)
        sigaction(sig, &s.previous[sig], nullptr);
    std::set_terminate(s.previousTerminate);
    if (s.ownAltStack) {
        stack_t off {};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        s.ownAltStack = false;
    }
    const int fd = s.fd.exchange(-1);
    if (fd >= 0)
        ::close(fd);
    s.installed = false;
}

bool CrashCapture::isInstalled()
{
    std::lock_guard lock(installMutex());
    return state().installed;
}

bool CrashCapture::setSnapshot(std::string_view json)
{
    if (json.size() > kMaxSnapshotBytes)
        return false;
    static std::mutex writers;
    std::lock_guard lock(writers);
    CaptureState& s = state();
    const int next = 1 - s.activeSnapshot.load();
    std::memcpy(s.snapshots[next], json.data(), json.size());
    s.snapshotLength[next] = json.size();
    s.activeSnapshot.store(next);
    return true;
}

void CrashCapture::suppressNextCrash()
{
    state().written = true;
}

const char* signalName(int signal)
{
    switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    case SIGTRAP: return "SIGTRAP";
    default: return "";
    }
}

const char* signalDescription(int signal)
{
    switch (signal) {
    case SIGSEGV: return "Segmentation fault";
    case SIGBUS: return "Bus error";
    case SIGILL: return "Illegal instruction";
    case SIGFPE: return "Floating point exception";
    case SIGABRT: return "Abort trap";
    case SIGTRAP: return "Trace/breakpoint trap";
    default: return "Fatal signal";
    }
}

// --- reading a crash file back ---------------------------------------------------------------

namespace {

struct MapEntry {
    std::uint64_t start = 0, end = 0, fileOffset = 0;
    std::string path;
};

std::optional<std::uint64_t> parseNumber(std::string_view text, int base)
{
    if (base == 16 && text.substr(0, 2) == "0x")
        text.remove_prefix(2);
    std::uint64_t value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::vector<MapEntry> parseMaps(std::string_view text)
{
    std::vector<MapEntry> entries;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string line(text.substr(pos, end - pos));
        pos = end + 1;
        // "start-end perms offset dev inode   path"
        std::istringstream in(line);
        std::string range, perms, offset, dev, inode, path;
        if (!(in >> range >> perms >> offset >> dev >> inode))
            continue;
        std::getline(in >> std::ws, path);
        const auto dash = range.find('-');
        if (dash == std::string::npos)
            continue;
        const auto start = parseNumber(std::string_view(range).substr(0, dash), 16);
        const auto stop = parseNumber(std::string_view(range).substr(dash + 1), 16);
        const auto fileOffset = parseNumber(offset, 16);
        if (!start || !stop || !fileOffset || path.empty() || path[0] == '[')
            continue;
        entries.push_back({*start, *stop, *fileOffset, path});
    }
    return entries;
}

StackFrame placeFrame(std::uint64_t address, const std::vector<MapEntry>& maps)
{
    StackFrame frame;
    frame.address = address;
    for (const MapEntry& m : maps) {
        if (address >= m.start && address < m.end) {
            frame.module = m.path;
            frame.offset = address - m.start + m.fileOffset;
            break;
        }
    }
    return frame;
}

} // namespace

std::optional<CrashRecord> readCrashFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string data;
    data.resize(kMaxCrashFileBytes);
    file.read(data.data(), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<std::size_t>(file.gcount()));
    std::string_view text(data);
    if (text.substr(0, 8) != "crash 1\n")
        return std::nullopt;

    CrashRecord record;
    std::vector<std::uint64_t> frames;
    std::string_view mapsText;
    std::size_t pos = 8;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line == "maps") {
            mapsText = pos < text.size() ? text.substr(pos) : std::string_view();
            break;
        }
        const auto space = line.find(' ');
        if (space == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, space);
        const std::string_view value = line.substr(space + 1);
        if (key == "kind") {
            record.kind = value;
        } else if (key == "signal") {
            record.signal = static_cast<int>(parseNumber(value, 10).value_or(0));
        } else if (key == "code") {
            int code = 0;
            std::from_chars(value.data(), value.data() + value.size(), code);
            record.code = code;
        } else if (key == "address") {
            record.address = parseNumber(value, 16).value_or(0);
        } else if (key == "time") {
            std::int64_t t = 0;
            std::from_chars(value.data(), value.data() + value.size(), t);
            record.timeMillis = t;
        } else if (key == "frame") {
            if (auto a = parseNumber(value, 16); a && frames.size() < kMaxFrames + 1)
                frames.push_back(*a);
        } else if (key == "snapshot" || key == "exception-type" || key == "exception-message") {
            const auto length = parseNumber(value, 10);
            if (!length || *length > text.size() - std::min(pos, text.size()))
                return std::nullopt; // a block longer than the file: damaged
            std::string block(text.substr(pos, *length));
            pos += *length + 1;
            if (key == "snapshot")
                record.snapshot = std::move(block);
            else if (key == "exception-type")
                record.exceptionType = std::move(block);
            else
                record.exceptionMessage = std::move(block);
        }
    }
    if (record.kind.empty() || record.signal == 0)
        return std::nullopt;
    record.signalName = signalName(record.signal);
    const std::vector<MapEntry> maps = parseMaps(mapsText);
    for (std::uint64_t a : frames)
        record.frames.push_back(placeFrame(a, maps));
    return record;
}

} // namespace platform::reporting
