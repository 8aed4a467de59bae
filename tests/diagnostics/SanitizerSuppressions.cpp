// Qt is not built with ThreadSanitizer: memory it frees after an atomic reference drop inside
// the library (QVariant, implicitly shared containers) looks unsynchronised to it. Interceptors
// called from inside Qt are ignored; our own accesses stay checked.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n";
}
