// The windows under test run on the system's Qt, built without ThreadSanitizer: the threads Qt
// starts for its own work (font and icon loading, file information) synchronise in code the tool
// cannot see. Only reports raised from inside those libraries are suppressed; every access of our
// own code stays checked.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6DBus.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n";
}
