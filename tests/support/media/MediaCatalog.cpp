#include "tests/support/media/MediaCatalog.h"

#include <stdexcept>

namespace testsupport {
namespace {

std::vector<std::string> h264(std::vector<std::string> extra = {})
{
    // B-frames stay on (the default) so decoders meet reordered frames.
    std::vector<std::string> options{"-c:v", "libx264", "-preset", "veryfast", "-crf", "18", "-pix_fmt", "yuv420p"};
    options.insert(options.end(), extra.begin(), extra.end());
    return options;
}

MediaClip movie(std::string name, std::string file, std::string codec, std::string pixelFormat, int width,
                int height, int rateNum, int rateDen, int frames)
{
    MediaClip clip;
    clip.name = std::move(name);
    clip.file = std::move(file);
    clip.codec = std::move(codec);
    clip.pixelFormat = std::move(pixelFormat);
    clip.width = width;
    clip.height = height;
    clip.rateNum = rateNum;
    clip.rateDen = rateDen;
    clip.frames = frames;
    return clip;
}

const MediaAudio kAac{"aac", 2, 48000, 1000};

std::vector<MediaClip> buildCatalog()
{
    std::vector<MediaClip> clips;

    {
        auto c = movie("h264_2997_aac", "h264_2997_aac.mov", "h264", "yuv420p", 320, 240, 30000, 1001, 60);
        c.startTimecode = "01:00:00;00";
        c.audio = {kAac};
        c.outputOptions = h264({"-timecode", c.startTimecode});
        clips.push_back(std::move(c));
    }
    {
        auto c = movie("prores_422_10bit_pcm", "prores_422_10bit_pcm.mov", "prores", "yuv422p10le", 320, 240, 25, 1, 50);
        c.audio = {{"pcm_s24le", 2, 48000, 1000}};
        c.outputOptions = {"-c:v", "prores_ks", "-profile:v", "2", "-pix_fmt", "yuv422p10le"};
        clips.push_back(std::move(c));
    }
    {
        // Drawn small and scaled up by ffmpeg, so the barcode also meets a real scaler.
        auto c = movie("dv_ntsc_411", "dv_ntsc_411.dv", "dvvideo", "yuv411p", 720, 480, 30000, 1001, 30);
        c.interlaced = true;
        c.drawWidth = 320;
        c.drawHeight = 240;
        c.audio = {{"pcm_s16le", 2, 48000, 1000}};
        c.outputOptions = {"-vf", "scale=720:480,setfield=bff", "-c:v", "dvvideo", "-pix_fmt", "yuv411p"};
        clips.push_back(std::move(c));
    }
    {
        auto c = movie("mpeg2_422_interlaced", "mpeg2_422_interlaced.mpg", "mpeg2video", "yuv422p", 720, 480, 30000, 1001, 30);
        c.interlaced = true;
        c.audio = {{"mp2", 2, 48000, 1000}};
        c.outputOptions = {"-vf", "setfield=tff", "-c:v", "mpeg2video", "-pix_fmt", "yuv422p", "-profile:v", "0",
                           "-flags", "+ilme+ildct", "-b:v", "12M", "-maxrate", "15M", "-bufsize", "4M"};
        clips.push_back(std::move(c));
    }
    {
        auto c = movie("mjpeg", "mjpeg.avi", "mjpeg", "yuvj422p", 320, 240, 25, 1, 50);
        c.audio = {{"pcm_s16le", 2, 48000, 1000}};
        c.outputOptions = {"-c:v", "mjpeg", "-pix_fmt", "yuvj422p", "-q:v", "3"};
        clips.push_back(std::move(c));
    }
    {
        // Long enough for a deck controller to cue seconds into it.
        auto c = movie("mjpeg_10s", "mjpeg_10s.avi", "mjpeg", "yuvj422p", 320, 240, 25, 1, 250);
        c.audio = {{"pcm_s16le", 2, 48000, 1000}};
        c.outputOptions = {"-c:v", "mjpeg", "-pix_fmt", "yuvj422p", "-q:v", "3"};
        clips.push_back(std::move(c));
    }
    {
        // Intra-only 29.97 and 59.94 clips with sound, for frame-accurate playout to cards.
        auto c = movie("prores_2997", "prores_2997.mov", "prores", "yuv422p10le", 320, 240, 30000, 1001, 90);
        c.audio = {{"pcm_s24le", 2, 48000, 1000}};
        c.outputOptions = {"-c:v", "prores_ks", "-profile:v", "2", "-pix_fmt", "yuv422p10le"};
        clips.push_back(std::move(c));
    }
    {
        auto c = movie("prores_5994", "prores_5994.mov", "prores", "yuv422p10le", 320, 240, 60000, 1001, 120);
        c.audio = {{"pcm_s24le", 2, 48000, 1000}};
        c.outputOptions = {"-c:v", "prores_ks", "-profile:v", "2", "-pix_fmt", "yuv422p10le"};
        clips.push_back(std::move(c));
    }
    {
        // Long-GOP HD at 59.94, as a linked pair loops it: a period is 16.7 ms and each seam's
        // first pictures need the frames before them decoded.
        auto c = movie("h264_720p5994", "h264_720p5994.mov", "h264", "yuv420p", 1280, 720, 60000, 1001, 180);
        c.audio = {kAac};
        c.outputOptions = h264();
        clips.push_back(std::move(c));
    }
    {
        auto c = movie("still_png", "still.png", "png", "rgb24", 320, 240, 0, 1, 1);
        c.kind = MediaKind::Still;
        c.outputOptions = {"-frames:v", "1", "-update", "1", "-c:v", "png", "-pix_fmt", "rgb24"};
        clips.push_back(std::move(c));
    }
    {
        auto c = movie("still_jpeg", "still.jpg", "mjpeg", "yuvj420p", 320, 240, 0, 1, 1);
        c.kind = MediaKind::Still;
        c.outputOptions = {"-frames:v", "1", "-update", "1", "-c:v", "mjpeg", "-pix_fmt", "yuvj420p", "-q:v", "2"};
        clips.push_back(std::move(c));
    }
    {
        auto c = movie("h264_15fps", "h264_15fps.mp4", "h264", "yuv420p", 320, 240, 15, 1, 30);
        c.audio = {kAac};
        c.outputOptions = h264();
        clips.push_back(std::move(c));
    }
    {
        auto c = movie("h264_120fps", "h264_120fps.mp4", "h264", "yuv420p", 320, 240, 120, 1, 120);
        c.audio = {kAac};
        c.outputOptions = h264();
        clips.push_back(std::move(c));
    }
    {
        auto c = movie("no_audio", "no_audio.mov", "h264", "yuv420p", 320, 240, 25, 1, 50);
        c.outputOptions = h264();
        clips.push_back(std::move(c));
    }
    {
        auto c = movie("two_audio", "two_audio.mov", "h264", "yuv420p", 320, 240, 25, 1, 50);
        c.audio = {{"aac", 2, 48000, 440}, {"pcm_s16le", 1, 48000, 880}};
        c.outputOptions = h264();
        clips.push_back(std::move(c));
    }
    {
        auto c = movie("mpegts_offset", "mpegts_offset.ts", "h264", "yuv420p", 320, 240, 25, 1, 50);
        c.startSeconds = 10;
        c.audio = {kAac};
        c.outputOptions = h264({"-output_ts_offset", "10", "-muxdelay", "0"});
        clips.push_back(std::move(c));
    }
    {
        // The index sits at the front (faststart), so a reader finds the frames it cannot read.
        auto c = movie("truncated", "truncated.mp4", "h264", "yuv420p", 320, 240, 25, 1, 50);
        c.kind = MediaKind::Truncated;
        c.truncatePercent = 50;
        c.audio = {kAac};
        c.outputOptions = h264({"-movflags", "+faststart"});
        clips.push_back(std::move(c));
    }
    {
        MediaClip c;
        c.name = "not_media";
        c.file = "not_media.mov";
        c.kind = MediaKind::NotMedia;
        clips.push_back(std::move(c));
    }
    {
        auto c = movie("h264_1080p", "h264_1080p.mov", "h264", "yuv420p", 1920, 1080, 30000, 1001, 90);
        c.set = MediaSet::Large;
        c.audio = {kAac};
        c.outputOptions = h264();
        clips.push_back(std::move(c));
    }
    {
        auto c = movie("prores_1080p", "prores_1080p.mov", "prores", "yuv422p10le", 1920, 1080, 30000, 1001, 90);
        c.set = MediaSet::Large;
        c.audio = {{"pcm_s24le", 2, 48000, 1000}};
        c.outputOptions = {"-c:v", "prores_ks", "-profile:v", "3", "-pix_fmt", "yuv422p10le"};
        clips.push_back(std::move(c));
    }
    return clips;
}

} // namespace

const std::vector<MediaClip>& mediaCatalog()
{
    static const std::vector<MediaClip> clips = buildCatalog();
    return clips;
}

const MediaClip& mediaClip(std::string_view name)
{
    for (const auto& clip : mediaCatalog())
        if (clip.name == name)
            return clip;
    throw std::out_of_range("no media clip named " + std::string(name));
}

} // namespace testsupport
