#pragma once

#include "engine/files/ssArkFormat.h"
#include "engine/files/ssFile.h"

#include <memory>
#include <string>
#include <vector>

// Finds resources by name in ".ark" archives under a root directory, falling back to loose files
// when the archive or the entry is missing. Archives are opened once and kept. A damaged archive
// (bad header, a table that does not fit the file, an unterminated name, data outside the file)
// is kept as empty, so its lookups fall back to the loose files. Used from one thread at a time.
class ssARKMan {
public:
    explicit ssARKMan(const char* rootDirectory);
    virtual ~ssARKMan();
    ssARKMan(const ssARKMan&) = delete;
    ssARKMan& operator=(const ssARKMan&) = delete;

    // The entry `name` of root/archive as an ssAFile, else the loose file root/directory/name
    // (root/name when the directory is empty) as an ssFile, else null. An empty archive name goes
    // to the loose file at once. Names with a ".." component are refused (null, logged). Entry
    // names are compared without regard to ASCII case.
    std::unique_ptr<ssFile> Open(const char* name, const char* directory, const char* archive);

    int GetArchiveCount() const { return static_cast<int>(archives_.size()); }

private:
    struct Archive {
        std::string path;
        std::shared_ptr<ssFile> file;
        std::vector<ssArkEntry> entries;
    };

    Archive* FindArchive(const std::string& path);
    Archive* RegisterArchive(const std::string& path);
    std::unique_ptr<ssFile> OpenEntry(const Archive& archive, const char* name,
                                      const char* directory);
    std::unique_ptr<ssFile> OpenLoose(const char* name, const char* directory);

    std::vector<Archive> archives_;
    std::string root_;
};
