#pragma once

#include "tests/support/media/MediaCatalog.h"

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// Makes the catalog's clips with the ffmpeg command-line tool.
class MediaGenerator {
public:
    MediaGenerator(std::filesystem::path folder, std::string ffmpeg);

    // Makes every clip of the list, `jobs` at a time. Returns the errors (empty on success).
    std::vector<std::string> make(const std::vector<const MediaClip*>& clips, int jobs) const;

    // Makes one clip; returns an error text or "".
    std::string make(const MediaClip& clip) const;

private:
    std::string encode(const MediaClip& clip, const std::filesystem::path& target) const;

    std::filesystem::path folder_;
    std::string ffmpeg_;
};

// The picture of frame `index`: a moving colour ramp with the frame barcode over it (RGB24).
void drawTestFrame(std::vector<unsigned char>& rgb, int width, int height, int index);

// Text that changes whenever the clips would come out differently: the stamp of a generated set.
std::string mediaFingerprint(const std::vector<const MediaClip*>& clips, const std::string& ffmpeg);

// The whole file, or "" when it cannot be read.
std::string readWholeFile(const std::filesystem::path& path);

// The catalog as JSON, for scripts and people looking at the media folder.
std::string mediaManifestJson();

} // namespace testsupport
