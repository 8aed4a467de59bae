#pragma once
// A private temporary folder for a fuzz target that must write its input as a file: made on first
// use, removed (with the one file the target writes there) when the process exits.

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fuzzsupport {

inline std::string scratchFolder(const char* fileName)
{
    static char folder[] = "/tmp/fuzz-scratch-XXXXXX";
    static std::string file;
    static const bool made = [fileName] {
        if (!::mkdtemp(folder))
            std::abort();
        file = std::string(folder) + "/" + fileName;
        std::atexit([] {
            ::unlink(file.c_str());
            ::rmdir(folder);
        });
        return true;
    }();
    (void)made;
    return folder;
}

} // namespace fuzzsupport
