#include "engine/files/ssARKMan.h"

#include "engine/base/ssMessage.h"
#include "engine/base/ssStrEqualNoCase.h"
#include "engine/files/ssAFile.h"

#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>

namespace {

// True when the path has a ".." component, which could leave the resource root.
bool climbsOut(const char* path)
{
    std::string_view rest(path);
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        if (rest.substr(0, slash) == "..")
            return true;
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    return false;
}

// Reads exactly size bytes at offset; false when the file is shorter or unreadable.
bool readAt(ssFile& file, int64_t offset, void* buffer, int64_t size)
{
    return file.Seek(offset, SEEK_SET) == offset && file.Read(buffer, size) == size;
}

// The validated entry table of an opened archive; empty (and logged) when anything is wrong.
std::vector<ssArkEntry> readEntryTable(ssFile& file)
{
    const int64_t fileSize = file.GetSize();
    uint8_t header[ssArkHeaderSize];
    uint32_t count = 0;
    if (!readAt(file, 0, header, sizeof header) || !ssArkDecodeHeader(header, &count)) {
        ssMessage(2, "Archive %s has no valid header", file.GetPath().c_str());
        return {};
    }
    if (ssArkTableEnd(count) > static_cast<uint64_t>(fileSize)) {
        ssMessage(2, "Archive %s lists %u entries but holds %lld bytes", file.GetPath().c_str(),
                  count, static_cast<long long>(fileSize));
        return {};
    }
    std::vector<uint8_t> table(static_cast<size_t>(count) * ssArkEntrySize);
    if (!readAt(file, ssArkHeaderSize, table.data(), static_cast<int64_t>(table.size()))) {
        ssMessage(2, "Archive %s entry table unreadable", file.GetPath().c_str());
        return {};
    }
    std::vector<ssArkEntry> entries(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (!ssArkDecodeEntry(&table[i * ssArkEntrySize], static_cast<uint64_t>(fileSize),
                              &entries[i])) {
            ssMessage(2, "Archive %s entry %u is damaged", file.GetPath().c_str(), i);
            return {};
        }
    }
    return entries;
}

} // namespace

ssARKMan::ssARKMan(const char* rootDirectory)
    : root_(rootDirectory ? rootDirectory : "")
{
}

ssARKMan::~ssARKMan() = default;

std::unique_ptr<ssFile> ssARKMan::Open(const char* name, const char* directory,
                                       const char* archive)
{
    if (!name || !*name)
        return nullptr;
    directory = directory ? directory : "";
    archive = archive ? archive : "";
    if (climbsOut(name) || climbsOut(directory) || climbsOut(archive)) {
        ssMessage(2, "Refusing resource %s/%s (%s): path leaves the resource folder", directory,
                  name, archive);
        return nullptr;
    }
    if (!*archive)
        return OpenLoose(name, directory);

    const std::string path = root_ + "/" + archive;
    if (Archive* known = FindArchive(path))
        return OpenEntry(*known, name, directory);
    if (Archive* added = RegisterArchive(path))
        return OpenEntry(*added, name, directory);
    return OpenLoose(name, directory);
}

ssARKMan::Archive* ssARKMan::FindArchive(const std::string& path)
{
    for (Archive& archive : archives_) {
        if (ssStrEqualNoCase(archive.path.c_str(), path.c_str()) == 0)
            return &archive;
    }
    return nullptr;
}

ssARKMan::Archive* ssARKMan::RegisterArchive(const std::string& path)
{
    auto file = std::make_shared<ssFile>();
    if (!file->Open(path.c_str(), O_RDONLY))
        return nullptr;
    Archive archive;
    archive.path = path;
    archive.entries = readEntryTable(*file);
    archive.file = std::move(file);
    archives_.push_back(std::move(archive));
    return &archives_.back();
}

std::unique_ptr<ssFile> ssARKMan::OpenEntry(const Archive& archive, const char* name,
                                            const char* directory)
{
    for (const ssArkEntry& entry : archive.entries) {
        if (ssStrEqualNoCase(entry.name, name) == 0)
            return std::make_unique<ssAFile>(archive.file, entry.offset, entry.size);
    }
    return OpenLoose(name, directory);
}

std::unique_ptr<ssFile> ssARKMan::OpenLoose(const char* name, const char* directory)
{
    std::string path = root_ + "/";
    if (*directory) {
        path += directory;
        path += "/";
    }
    path += name;
    auto file = std::make_unique<ssFile>();
    if (!file->Open(path.c_str(), O_RDONLY))
        return nullptr;
    struct stat status{};
    if (fstat(file->GetDescriptor(), &status) != 0 || S_ISDIR(status.st_mode))
        return nullptr;
    return file;
}
