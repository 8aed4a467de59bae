#pragma once
// The open-source components this build ships, in the order the acknowledgments list them, with
// their localized title, author and description (keys QM_LICENSE_TITLE_<K>, QM_LICENSE_AUTHOR_<K>,
// QM_LICENSE_INFO_<K>), web page and licence text resource.

#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

enum class LibraryAcknowledgment { qt, ffmpeg, libpng, libjpegTurbo, portAudio, curl, sqlite, zlib, nlohmannJson };

namespace LibraryAcknowledgments {

struct Info {
    QString title;
    QString author;
    QString description;
    std::optional<QUrl> url;
    // The licence text's resource (":/licenses/<name>.txt").
    std::optional<QString> license;
};

// Every case, in order.
const std::vector<LibraryAcknowledgment>& allCases();
// K of the localized keys ("FFMPEG").
const char* key(LibraryAcknowledgment library);
Info info(LibraryAcknowledgment library);

} // namespace LibraryAcknowledgments
