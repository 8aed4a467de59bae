// FFmpeg's frame-threaded decoders synchronise their worker threads with atomics that are not
// instrumented in the system's libraries, so ThreadSanitizer reports races inside them that are
// none; the software GL driver's rasteriser threads are the same. Only reports whose stacks pass
// through FFmpeg or the driver are set aside; the engine's own are kept. The driver may be
// unloaded at exit, so it is matched by frame, not by called_from_lib.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libavcodec.so\n"
           "called_from_lib:libavutil.so\n"
           "race:swrast_dri.so\n"
           "race:libLLVM-15.so.1\n";
}
