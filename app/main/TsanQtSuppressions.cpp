// Only read under ThreadSanitizer (the end-to-end tests run this program in the instrumented
// build). The system's Qt, GLib and FFmpeg and the software GL driver are not instrumented: their
// own synchronisation (event queue, thread pools, frame-threaded decoders, rasteriser threads) is
// invisible, so what they do on their threads looks like races. Only reports raised from inside
// those libraries are set aside; every access of our own code stays checked. The GL driver may be
// unloaded at exit, so it is matched by frame, not by called_from_lib.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6Network.so.6\n"
           "called_from_lib:libQt6DBus.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n"
           "called_from_lib:libavcodec.so\n"
           "called_from_lib:libavutil.so\n"
           "race:swrast_dri.so\n"
           "race:libLLVM-15.so.1\n";
}
