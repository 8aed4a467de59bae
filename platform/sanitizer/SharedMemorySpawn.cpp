// ThreadSanitizer builds only (see CMakeLists.txt).
//
// Qt starts child processes with clone(CLONE_VM | CLONE_VFORK): until it execs, the child runs in
// the parent's memory. The sanitizer's clone interceptor treats every clone as a fork and does its
// child-side bookkeeping in the child; for a parent with several threads that bookkeeping stops
// tracking synchronisation on the child's thread for good, in memory the child shares, so on the
// parent's spawning thread. After the program starts its media helper, every hand-off from the
// main thread to another one (a socket handed to its queue under a mutex, say) was then reported
// as a race. Such a clone is turned into a real fork here, so that bookkeeping stays in the
// child's own copy; every other clone goes on to the sanitizer unchanged.
#include <cerrno>
#include <csignal>
#include <cstdarg>

#include <dlfcn.h>
#include <sched.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using CloneFn = int (*)(int (*)(void*), void*, int, void*, ...);

// A process start with vfork semantics that fork() can stand for: its own process, SIGCHLD at
// exit, at most a pidfd to hand back.
bool isSharedMemorySpawn(int flags)
{
    const int handled = CLONE_VM | CLONE_VFORK | CLONE_PIDFD | CSIGNAL;
    return (flags & (CLONE_VM | CLONE_VFORK)) == (CLONE_VM | CLONE_VFORK) && (flags & ~handled) == 0
        && (flags & CSIGNAL) == SIGCHLD;
}

int spawnWithFork(int (*fn)(void*), void* arg, int flags, int* pidfdOut)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(fn(arg));
    if (pid < 0)
        return -1;
    if (flags & CLONE_PIDFD) {
        const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
        if (pidfd < 0) {
            // The caller cannot watch a child it has no descriptor for: none was started.
            const int error = errno;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            errno = error;
            return -1;
        }
        *pidfdOut = pidfd;
    }
    return pid;
}

} // namespace

extern "C" int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...)
{
    // clone's optional arguments are read whether or not the flags use them, as libc does.
    va_list rest;
    va_start(rest, arg);
    int* parentTid = va_arg(rest, int*);
    void* tls = va_arg(rest, void*);
    int* childTid = va_arg(rest, int*);
    va_end(rest);

    if (isSharedMemorySpawn(flags))
        return spawnWithFork(fn, arg, flags, parentTid);
    static const auto next = reinterpret_cast<CloneFn>(::dlsym(RTLD_NEXT, "clone"));
    return next(fn, stack, flags, arg, parentTid, tls, childTid);
}
