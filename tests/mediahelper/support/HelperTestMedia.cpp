#include "tests/mediahelper/support/HelperTestMedia.h"

#include "tests/support/MediaFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QUuid>

#include <unistd.h>

namespace testsupport {

namespace {

QString helperMediaFolder()
{
    // Test mains set KLV_BINARY_DIR; benchmarks run without it.
    QByteArray binary = qgetenv("KLV_BINARY_DIR");
    if (binary.isEmpty())
        binary = KLV_BUILD_DIR;
    const QString folder = QString::fromLocal8Bit(binary) + QStringLiteral("/test-data/clipwright");
    QDir().mkpath(folder);
    return folder;
}

struct Recipe {
    const char* file;
    QStringList arguments; // between "-y" and the output path
    bool statedShort = false; // the movie header's duration rounded down (see the enum)
};

// The movie header's duration (version 0: time scale and duration after the version, flags and two
// dates) becomes 360 frames at 30000/1001 in that time scale, rounded down.
bool stateMovieDurationShort(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray data = file.readAll();
    const qsizetype at = data.indexOf("mvhd");
    if (at < 0 || data.size() < at + 24 || data[at + 4] != 0)
        return false;
    const auto field = [&](qsizetype offset) {
        const auto* p = reinterpret_cast<const unsigned char*>(data.constData() + offset);
        return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
    };
    const quint64 scale = field(at + 16);
    const quint32 duration = quint32(360ull * 1001ull * scale / 30000ull);
    const char bytes[4] = {char(duration >> 24), char(duration >> 16), char(duration >> 8), char(duration)};
    return file.seek(at + 20) && file.write(bytes, 4) == 4;
}

Recipe recipe(HelperClip clip)
{
    const QStringList h264 = {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-g", "25"};
    switch (clip) {
    case HelperClip::Square1080p:
        return {"square_1080p.mp4", QStringList{"-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=25:duration=4"} + h264};
    case HelperClip::Anamorphic480:
        return {"anamorphic_480.mp4",
                QStringList{"-f", "lavfi", "-i", "testsrc2=size=720x480:rate=25:duration=4", "-vf", "setsar=8/9"} + h264};
    case HelperClip::DarkStart:
        return {"dark_start.mp4", QStringList{"-f", "lavfi", "-i", "color=black:size=320x180:rate=25:duration=6", "-f",
                                              "lavfi", "-i", "testsrc2=size=320x180:rate=25:duration=6",
                                              "-filter_complex", "[0:v][1:v]concat=n=2:v=1[v]", "-map", "[v]"}
                                      + h264};
    case HelperClip::AllDark:
        return {"all_dark.mp4", QStringList{"-f", "lavfi", "-i", "color=black:size=160x90:rate=25:duration=20"} + h264};
    case HelperClip::OffsetStart:
        return {"offset_start.ts", QStringList{"-f", "lavfi", "-i", "color=black:size=160x90:rate=25:duration=2", "-f",
                                               "lavfi", "-i", "color=white:size=160x90:rate=25:duration=2",
                                               "-filter_complex", "[0:v][1:v]concat=n=2:v=1[v]", "-map", "[v]"}
                                       + h264 + QStringList{"-output_ts_offset", "10", "-muxdelay", "0", "-f", "mpegts"}};
    case HelperClip::Ntsc360FramesStatedShort:
        return {"ntsc_360_frames_stated_short.mov",
                QStringList{"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30000/1001", "-frames:v", "360"} + h264
                    + QStringList{"-movie_timescale", "600"},
                true};
    case HelperClip::Small:
        break;
    }
    return {"small.mp4", QStringList{"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=8"} + h264};
}

} // namespace

QString helperClipPath(HelperClip clip)
{
    const Recipe r = recipe(clip);
    const QString path = helperMediaFolder() + QLatin1Char('/') + QLatin1String(r.file);
    if (QFileInfo::exists(path))
        return path;
    // Made under a unique name and renamed into place: parallel tests never see half a file.
    const QString suffix = QFileInfo(path).suffix();
    const QString partial = path + QStringLiteral(".%1.%2").arg(QUuid::createUuid().toString(QUuid::Id128), suffix);
    QStringList arguments = {"-v", "error", "-y"};
    arguments += r.arguments;
    arguments += partial;
    const ToolResult result = runTool(ffmpegProgram(), arguments);
    if (!result.ok() || (r.statedShort && !stateMovieDurationShort(partial))) {
        QFile::remove(partial);
        return QString();
    }
    if (::rename(QFile::encodeName(partial).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(partial);
        return QString();
    }
    return path;
}

QString clipwrightProgram()
{
    return QStringLiteral(KLV_CLIPWRIGHT_PROGRAM);
}

int zombieChildCount()
{
    const QString self = QString::number(::getpid());
    int zombies = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        entry.toInt(&numeric);
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // "pid (comm) state ppid ...": the name may hold spaces, so read after the last ')'.
        const int close = line.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (fields.size() >= 2 && fields[0] == "Z" && QString::fromLatin1(fields[1]) == self)
            ++zombies;
    }
    return zombies;
}

} // namespace testsupport
