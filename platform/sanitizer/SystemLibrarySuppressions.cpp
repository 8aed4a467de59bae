// Linked into every program, test and benchmark of a sanitizer build (see cmake/KlvTargets.cmake).
//
// The system's Qt, X client libraries, GLib, D-Bus, FFmpeg and the software GL driver are not
// instrumented. Their own synchronisation (event queue, thread pools, frame-threaded decoders,
// rasteriser threads) is invisible to ThreadSanitizer, so what they do on their threads looks like
// races: only reports raised from inside those libraries are set aside, every access of our own
// code stays checked.
//
// LeakSanitizer: D-Bus's connection buffers stay with the thread Qt leaves running at exit,
// fontconfig keeps its configuration for good once a font was looked up, Qt's offscreen platform
// keeps what it made for its screen, and the GL driver keeps what it allocated for the process;
// none of it is ours.
#include <cstring>

// A program adds its own entries (a fuzz target's font caches, say) by defining this.
extern "C" __attribute__((weak)) const char* klv_extra_leak_suppressions();

// Interceptors (allocation, locks, condition variables) called from uninstrumented libraries are
// not judged: their own synchronisation is invisible, so what they do would look like races.
extern "C" const char* __tsan_default_options()
{
    return "ignore_noninstrumented_modules=1";
}

extern "C" const char* __tsan_default_suppressions()
{
    // The GL driver's rasteriser threads are matched by frame: the driver may be unloaded at exit.
    return "race:swrast_dri.so\n"
           "race:libLLVM-15.so.1\n"
           // What is posted through Qt's event queue (a queued call's slot object with the values
           // it carries, our main queue's wake-up event) is made on the posting thread and read on
           // the main thread behind a lock inside Qt that the sanitizer cannot see. Data reached
           // through pointers stays checked; our main queue's tasks pass under our own lock.
           "race:invokeMethod\n"
           "race:postToMain\n";
}

extern "C" const char* __lsan_default_suppressions()
{
    static const char base[] = "leak:libdbus-1.so\n"
                               "leak:libfontconfig.so\n"
                               "leak:libqoffscreen.so\n"
                               "leak:libEGL_mesa.so\n"
                               "leak:libgallium\n"
                               "leak:swrast_dri.so\n"
                               "leak:libLLVM\n"
                               "leak:libglapi.so\n";
    if (!klv_extra_leak_suppressions)
        return base;
    // Read once, at the leak check near exit: a plain buffer, nothing that destructors could free.
    static char all[1024];
    if (!all[0]) {
        std::strncpy(all, base, sizeof all - 1);
        std::strncat(all, klv_extra_leak_suppressions(), sizeof all - 1 - std::strlen(all));
    }
    return all;
}
