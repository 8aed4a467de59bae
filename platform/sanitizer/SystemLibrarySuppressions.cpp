// Linked into every program, test and benchmark of a sanitizer build (see cmake/KlvTargets.cmake).
//
// The system's Qt, the X client library, GLib, D-Bus, FFmpeg and the software GL driver are not
// instrumented. Their own synchronisation (event queue, thread pools, frame-threaded decoders,
// rasteriser threads) is invisible to ThreadSanitizer, so what they do on their threads looks like
// races: only reports raised from inside those libraries are set aside, every access of our own
// code stays checked.
// The GL driver may be unloaded at exit, so it is matched by frame, not by called_from_lib (which
// needs the library loaded).
//
// LeakSanitizer: D-Bus's connection buffers stay with the thread Qt leaves running at exit,
// fontconfig keeps its configuration for good once a font was looked up, and the GL driver keeps
// what it allocated for the process; none of it is ours.
#include <cstring>

// A program adds its own entries (a fuzz target's font caches, say) by defining this.
extern "C" __attribute__((weak)) const char* klv_extra_leak_suppressions();

extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6Network.so.6\n"
           "called_from_lib:libQt6DBus.so.6\n"
           "called_from_lib:libQt6XcbQpa.so.6\n"
           "called_from_lib:libxcb.so.1\n"
           "called_from_lib:libglib-2.0.so.0\n"
           "called_from_lib:libavcodec.so\n"
           "called_from_lib:libavutil.so\n"
           "race:swrast_dri.so\n"
           "race:libLLVM-15.so.1\n"
           // The wake-up event of our main queue is made on the posting thread and read on the
           // main thread through Qt's event queue, whose lock the sanitizer cannot see; the tasks
           // themselves pass under our own lock.
           "race:postToMain\n";
}

extern "C" const char* __lsan_default_suppressions()
{
    static const char base[] = "leak:libdbus-1.so\n"
                               "leak:libfontconfig.so\n"
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
