// FFmpeg's frame-threaded decoders synchronise their worker threads with atomics that are not
// instrumented in the system's libraries, so ThreadSanitizer reports races inside them that are
// none. Only reports whose stacks pass through FFmpeg are set aside; the engine's own are kept.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libavcodec.so\n"
           "called_from_lib:libavutil.so\n";
}
