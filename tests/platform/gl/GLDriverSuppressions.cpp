// The software GL driver runs its own rasteriser threads and synchronises them in code built
// without ThreadSanitizer, so their accesses look unordered to it. Reports from inside the
// driver are not ours to act on; everything our code does stays checked.
extern "C" const char* __tsan_default_suppressions()
{
    // Matched against the frames of a report; the driver may be unloaded at exit, so no
    // called_from_lib entries (those must stay loaded).
    return "race:swrast_dri.so\n"
           "race:libLLVM-15.so.1\n";
}
