#include "app/about/LibraryAcknowledgment.h"

#include "resources/strings/KLVLocalized.h"

namespace LibraryAcknowledgments {

namespace {

struct Entry {
    LibraryAcknowledgment library;
    const char* key;
    const char* url;
    const char* license;
};

constexpr Entry kEntries[] = {
    {LibraryAcknowledgment::qt, "QT", "https://www.qt.io", "Qt_License"},
    {LibraryAcknowledgment::ffmpeg, "FFMPEG", "https://ffmpeg.org", "FFmpeg_License"},
    {LibraryAcknowledgment::libpng, "LIBPNG", "http://www.libpng.org/pub/png/libpng.html", "libpng_License"},
    {LibraryAcknowledgment::libjpegTurbo, "JPEGTURBO", "https://libjpeg-turbo.org", "libjpeg-turbo_License"},
    {LibraryAcknowledgment::portAudio, "PORTAUDIO", "https://www.portaudio.com", "PortAudio_License"},
    {LibraryAcknowledgment::curl, "CURL", "https://curl.se/libcurl/", "libcurl_License"},
    {LibraryAcknowledgment::sqlite, "SQLITE", "https://www.sqlite.org", "SQLite_License"},
    {LibraryAcknowledgment::zlib, "ZLIB", "https://zlib.net", "zlib_License"},
    {LibraryAcknowledgment::nlohmannJson, "NLOHMANNJSON", "https://github.com/nlohmann/json", "nlohmann-json_License"},
};

const Entry& entry(LibraryAcknowledgment library)
{
    for (const Entry& e : kEntries)
        if (e.library == library)
            return e;
    return kEntries[0];
}

QString localized(const char* prefix, const char* key)
{
    return KLVLocalized::text((QByteArray(prefix) + key).constData());
}

} // namespace

const std::vector<LibraryAcknowledgment>& allCases()
{
    static const std::vector<LibraryAcknowledgment> cases = [] {
        std::vector<LibraryAcknowledgment> v;
        for (const Entry& e : kEntries)
            v.push_back(e.library);
        return v;
    }();
    return cases;
}

const char* key(LibraryAcknowledgment library)
{
    return entry(library).key;
}

Info info(LibraryAcknowledgment library)
{
    const Entry& e = entry(library);
    Info i;
    i.title = localized("QM_LICENSE_TITLE_", e.key);
    i.author = localized("QM_LICENSE_AUTHOR_", e.key);
    i.description = localized("QM_LICENSE_INFO_", e.key);
    if (e.url)
        i.url = QUrl(QString::fromLatin1(e.url));
    if (e.license)
        i.license = QStringLiteral(":/licenses/%1.txt").arg(QString::fromLatin1(e.license));
    return i;
}

} // namespace LibraryAcknowledgments
