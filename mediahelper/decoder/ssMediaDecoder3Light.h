#pragma once
// A small reader for one media file: opens it, tells its picture size, format, duration and
// frame rate, and grabs single pictures as RGB24. One instance per job; not shared between
// threads.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

struct AVCodec;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

class ssMediaDecoder3Light {
public:
    ssMediaDecoder3Light();
    ~ssMediaDecoder3Light();
    ssMediaDecoder3Light(const ssMediaDecoder3Light&) = delete;
    ssMediaDecoder3Light& operator=(const ssMediaDecoder3Light&) = delete;

    // 0 on success, else the FFmpeg error code (negative), -1 (no decoder for the video) or
    // -12 (out of memory). path is UTF-8, any length. A file already open is closed first.
    int Open(const std::string& path);

    // A picture near `seconds` that is not too dark, as width x height x 3 bytes (R, G, B; rows
    // packed) of the coded size. Returns 0 with the outputs set, or -1 (outputs 0, 0, empty).
    // A read or decode error while looking yields a flat picture of value 31, with 0.
    int GetImageForTime(double seconds, int& width, int& height, std::unique_ptr<std::uint8_t[]>& pixels);

    // Display size: (-1, -1) when no file is open.
    std::pair<int, int> GetWidthHeight() const;
    // The video decoder's short name ("unknown" when it has none); empty when no file is open.
    std::string GetFormatString() const;

    bool IsOpened() const { return bOpened_; }
    const std::string& GetPath() const { return Path_; }
    double GetDuration() const { return dDuration_; }
    double GetFrameRate() const { return dFrameRate_; }
    // The coded (decoder) width, without the sample aspect ratio.
    int GetCodedWidth() const;

    // Frame rate from the stream's average rate, falling back to its base rate when the average
    // is not stated (0/0); 0 when neither is. Never NaN. Exposed for tests.
    static double FrameRateFromRates(int avgNum, int avgDen, int baseNum, int baseDen);

    // Brightness rule on one plane: bytesPerSample 1 or 2; true when the average sample (16-bit
    // samples halved) is above 20. Exposed for tests.
    static bool IsBrightEnough(const std::uint8_t* plane, int lineSize, int widthSamples, int height,
                               int bytesPerSample);

private:
    void Close();
    // Seeks the video stream to the last seek point at or before `seconds`.
    bool SeekTo(double seconds);
    // Decodes the first picture after the current position. 1 with a picture, 0 at end of file
    // or on an error, -1 when the decoder refuses outright.
    int DecodeNextPicture();
    bool PictureIsBright() const;
    int TakePicture(int& width, int& height, std::unique_ptr<std::uint8_t[]>& pixels);
    void FlatPicture(int& width, int& height, std::unique_ptr<std::uint8_t[]>& pixels) const;

    std::string Path_;
    std::int32_t iVideoStream_ = 0;
    double dFrameRate_ = 0;
    double dDuration_ = 0;
    std::int32_t iWidth_ = 0;  // display width
    std::int32_t iHeight_ = 0; // coded height
    bool bOpened_ = false;
    AVFormatContext* pFormatCtx_ = nullptr;
    AVCodecContext* pCodecCtx_ = nullptr;
    const AVCodec* pCodec_ = nullptr;
    AVFrame* pFrame_ = nullptr;
    AVPacket* pPacket_ = nullptr;
    SwsContext* pSws_ = nullptr; // cached across pictures of one grab, rebuilt when a frame differs
};
