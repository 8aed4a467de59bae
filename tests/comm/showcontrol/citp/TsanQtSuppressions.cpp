// ThreadSanitizer sees only instrumented code. The system's Qt is not instrumented, so the
// synchronisation inside it is invisible: besides the event machinery of QtCore and QtNetwork,
// QtGui scales large images on its own thread pool, whose hand-back looks like a race on the
// image's memory. Only calls made from inside those libraries are suppressed; every access of
// our own code is still checked.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Network.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n";
}
