// ThreadSanitizer sees only instrumented code. The system's Qt and GLib are not instrumented, so
// the synchronisation inside them (posted-event queue, thread join, event-loop wake-ups) is
// invisible, and the system calls they make on behalf of that machinery look like races. Only
// calls made from inside those libraries are suppressed; every access of our own code is still
// checked.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Network.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n";
}
