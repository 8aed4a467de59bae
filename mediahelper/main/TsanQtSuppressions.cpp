// Only read under ThreadSanitizer. The system's Qt is not instrumented: its own synchronisation
// (thread pool behind smooth image scaling, event queue, implicitly shared data) is invisible,
// so what it does on its threads looks like races. Calls made from inside Qt and GLib are
// ignored; every access of our own code is still checked.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n";
}
