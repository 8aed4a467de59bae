#include "app/smartfolder/KLVSmartFolderMatch.h"

#include "platform/foundation/Paths.h"

#include <QCollator>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

namespace {

QString fileNameOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

std::optional<QString> klvDecodedFileName(const QString& sourcePath)
{
    const QString name = fileNameOf(sourcePath);
    QByteArray bytes;
    const QByteArray utf8 = name.toUtf8();
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '%') {
            bytes.append(utf8[i]);
            continue;
        }
        if (i + 2 >= utf8.size())
            return std::nullopt;
        const int hi = hexValue(QChar(utf8[i + 1])), lo = hexValue(QChar(utf8[i + 2]));
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes.append(char(hi * 16 + lo));
        i += 2;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString decoded = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return decoded;
}

KLVSmartFolderMatch klvMatchFolderFiles(const std::vector<std::shared_ptr<KLVPlaylistNode>>& cues,
                                        const QStringList& files)
{
    struct Cue {
        std::shared_ptr<KLVPlaylistNode> node;
        QString path;
        QString rawName;
        std::optional<QString> decodedName;
        bool used = false;
    };
    std::vector<Cue> pool;
    for (const auto& node : cues) {
        if (!node || !node->plnSourcePath())
            continue;
        const QString source = *node->plnSourcePath();
        pool.push_back({node, QFileInfo(platform::stringByExpandingTildeInPath(source)).absoluteFilePath(),
                        fileNameOf(source), klvDecodedFileName(source)});
    }
    std::vector<Cue*> matchOf(size_t(files.size()), nullptr);
    auto pass = [&](auto&& matches) {
        for (qsizetype f = 0; f < files.size(); ++f) {
            if (matchOf[size_t(f)])
                continue;
            for (Cue& cue : pool) {
                if (!cue.used && matches(cue, files[f])) {
                    cue.used = true;
                    matchOf[size_t(f)] = &cue;
                    break;
                }
            }
        }
    };
    pass([](const Cue& c, const QString& file) { return c.path == QFileInfo(file).absoluteFilePath(); });
    pass([](const Cue& c, const QString& file) { return c.rawName == fileNameOf(file); });
    pass([](const Cue& c, const QString& file) { return c.decodedName && *c.decodedName == fileNameOf(file); });

    KLVSmartFolderMatch result;
    for (qsizetype f = 0; f < files.size(); ++f) {
        if (matchOf[size_t(f)])
            result.kept.push_back(matchOf[size_t(f)]->node);
        else
            result.newPaths.append(files[f]);
    }
    return result;
}

void klvSortCuesByName(std::vector<std::shared_ptr<KLVPlaylistNode>>& cues)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<std::pair<QString, std::shared_ptr<KLVPlaylistNode>>> keyed;
    keyed.reserve(cues.size());
    for (auto& cue : cues)
        keyed.emplace_back(cue->plnName().value_or(QString()), cue);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [&](const auto& a, const auto& b) { return collator.compare(a.first, b.first) < 0; });
    for (size_t i = 0; i < cues.size(); ++i)
        cues[i] = std::move(keyed[i].second);
}
