#include "platform/encode/ProResFlavours.h"
#include "platform/encode/ProResSession.h"
#include "platform/testpattern/FrameBarcode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

using namespace platform::encode;

namespace {

struct Packet {
    std::vector<uint8_t> bytes;
    int64_t tag;
};

struct Collector : CompressedFrameSink {
    void compressedFrame(const uint8_t* data, int size, int64_t tag) override
    {
        packets.push_back({std::vector<uint8_t>(data, data + size), tag});
    }
    std::vector<Packet> packets;
};

std::vector<uint8_t> picture(int width, int height, uint32_t index)
{
    std::vector<uint8_t> bytes(size_t(width * height * 2));
    for (size_t i = 0; i < bytes.size(); i += 2) {
        bytes[i] = 128;
        bytes[i + 1] = 16;
    }
    platform::FrameBarcode::draw(index, bytes.data(), width, height, width * 2, platform::BarcodePixels::Uyvy422);
    return bytes;
}

// Decodes one ProRes frame with FFmpeg's decoder and reads its barcode from the 8-bit 4:2:2 it
// makes of the picture.
std::optional<uint32_t> decodeBarcode(const std::vector<uint8_t>& frame, int width, int height)
{
    av_log_set_level(AV_LOG_ERROR);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_PRORES);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    std::optional<uint32_t> index;
    if (avcodec_open2(context, codec, nullptr) == 0) {
        AVPacket* packet = av_packet_alloc();
        AVFrame* decoded = av_frame_alloc();
        av_new_packet(packet, int(frame.size()));
        std::memcpy(packet->data, frame.data(), frame.size());
        if (avcodec_send_packet(context, packet) == 0 && avcodec_receive_frame(context, decoded) == 0) {
            const bool full = decoded->format == AV_PIX_FMT_YUV444P10LE || decoded->format == AV_PIX_FMT_YUVA444P10LE;
            std::vector<uint8_t> uyvy(size_t(width * height * 2));
            for (int r = 0; r < height; ++r) {
                auto row = [&](int plane) {
                    return reinterpret_cast<const uint16_t*>(decoded->data[plane] + decoded->linesize[plane] * r);
                };
                for (int x = 0; x < width; x += 2) {
                    const int c = full ? x : x / 2;
                    uint8_t* out = &uyvy[size_t(r * width * 2 + x * 2)];
                    out[0] = uint8_t(row(1)[c] >> 2);
                    out[1] = uint8_t(row(0)[x] >> 2);
                    out[2] = uint8_t(row(2)[c] >> 2);
                    out[3] = uint8_t(row(0)[x + 1] >> 2);
                }
            }
            index = platform::FrameBarcode::read(uyvy.data(), width, height, width * 2,
                                                 platform::BarcodePixels::Uyvy422);
        }
        av_frame_free(&decoded);
        av_packet_free(&packet);
    }
    avcodec_free_context(&context);
    return index;
}

// Frame header fields: 4-byte size, 'icpf', header size, version, creator, width, height, flags,
// reserved, primaries, transfer, matrix.
struct FrameHeader {
    std::string creator;
    int width, height, chroma, interlace, primaries, transfer, matrix;
};

ProResSettings sized(int width, int height, int codecIndex)
{
    ProResSettings settings;
    settings.width = width;
    settings.height = height;
    settings.codecIndex = codecIndex;
    settings.threads = 4; // frame threading holds several frames back
    return settings;
}

FrameHeader header(const std::vector<uint8_t>& f)
{
    EXPECT_GE(f.size(), 28u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[4]), 4), "icpf");
    return {std::string(reinterpret_cast<const char*>(&f[12]), 4), f[16] << 8 | f[17], f[18] << 8 | f[19],
            f[20] >> 6, (f[20] >> 2) & 3, f[22], f[23], f[24]};
}

} // namespace

TEST(ProResSession, EveryProfileCompressesInOrderWithItsTagsAndDecodesToTheSamePicture)
{
    constexpr int kWidth = 192, kHeight = 108;
    for (int index = 0; index < kProResFlavourCount; ++index) {
        SCOPED_TRACE(index);
        ProResSession session;
        ProResSettings settings = sized(kWidth, kHeight, index);
        settings.frameRate = 25;
        std::string error;
        ASSERT_EQ(session.open(settings, &error), 0) << error;
        Collector out;
        for (int k = 0; k < 12; ++k) {
            auto bytes = picture(kWidth, kHeight, uint32_t(100 + k));
            ASSERT_EQ(session.encode(bytes.data(), kWidth * 2, 1000 + k, out), 0);
            std::fill(bytes.begin(), bytes.end(), 0); // the session keeps its own copy
        }
        ASSERT_EQ(session.drain(out), 0);
        EXPECT_EQ(session.framesInFlight(), 0);
        ASSERT_EQ(out.packets.size(), 12u);
        for (int k = 0; k < 12; ++k) {
            EXPECT_EQ(out.packets[size_t(k)].tag, 1000 + k);
            EXPECT_EQ(decodeBarcode(out.packets[size_t(k)].bytes, kWidth, kHeight), uint32_t(100 + k)) << k;
        }
        const FrameHeader h = header(out.packets[0].bytes);
        EXPECT_EQ(h.creator, "apl0");
        EXPECT_EQ(h.width, kWidth);
        EXPECT_EQ(h.height, kHeight);
        EXPECT_EQ(h.chroma, index == 0 ? 3 : 2); // 4:4:4 for the 4444 profile
        EXPECT_EQ(h.interlace, 0);
        // After a drain the session takes new pictures.
        auto bytes = picture(kWidth, kHeight, 7);
        ASSERT_EQ(session.encode(bytes.data(), kWidth * 2, 5, out), 0);
        ASSERT_EQ(session.drain(out), 0);
        ASSERT_EQ(out.packets.size(), 13u);
        EXPECT_EQ(out.packets.back().tag, 5);
        EXPECT_EQ(decodeBarcode(out.packets.back().bytes, kWidth, kHeight), 7u);
    }
}

TEST(ProResSession, WarmUpFramesComeOutUntaggedAheadOfTheRecordingsOwnInOrder)
{
    constexpr int kWidth = 192, kHeight = 108;
    for (const int index : {0, 1}) { // full and half chroma
        SCOPED_TRACE(index);
        ProResSession session;
        std::string error;
        ASSERT_EQ(session.open(sized(kWidth, kHeight, index), &error), 0) << error;
        Collector out;
        ASSERT_EQ(session.warmUp(out), 0);
        const size_t warm = out.packets.size() + size_t(session.framesInFlight());
        EXPECT_EQ(warm, size_t(CompressionSession::kMaxInFlight + 2)); // every pool buffer once
        for (int k = 0; k < 6; ++k) {
            const auto bytes = picture(kWidth, kHeight, uint32_t(40 + k));
            ASSERT_EQ(session.encode(bytes.data(), kWidth * 2, k, out), 0);
        }
        ASSERT_EQ(session.drain(out), 0);
        ASSERT_EQ(out.packets.size(), warm + 6);
        for (size_t i = 0; i < warm; ++i) {
            EXPECT_EQ(out.packets[i].tag, -1) << i;
            EXPECT_EQ(decodeBarcode(out.packets[i].bytes, kWidth, kHeight), std::nullopt) << i;
        }
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(out.packets[warm + size_t(k)].tag, k);
            EXPECT_EQ(decodeBarcode(out.packets[warm + size_t(k)].bytes, kWidth, kHeight), uint32_t(40 + k));
        }
    }
}

TEST(ProResSession, InterlaceFieldOrderAndColourReachTheFrameHeader)
{
    struct Case {
        int height;
        bool topFirst;
        int interlace, primaries, matrix;
    };
    for (const Case c : {Case{1080, true, 1, 1, 1}, Case{486, false, 2, 6, 6}, Case{576, true, 1, 5, 6}}) {
        SCOPED_TRACE(c.height);
        ProResSession session;
        ProResSettings settings;
        settings.width = c.height == 1080 ? 1920 : 720;
        settings.height = c.height;
        settings.codecIndex = 4;
        settings.interlaced = true;
        settings.topFieldFirst = c.topFirst;
        settings.frameRate = 25;
        ASSERT_EQ(session.open(settings, nullptr), 0);
        Collector out;
        auto bytes = picture(settings.width, settings.height, 3);
        ASSERT_EQ(session.encode(bytes.data(), settings.width * 2, 0, out), 0);
        ASSERT_EQ(session.drain(out), 0);
        ASSERT_EQ(out.packets.size(), 1u);
        const FrameHeader h = header(out.packets[0].bytes);
        EXPECT_EQ(h.interlace, c.interlace);
        EXPECT_EQ(h.primaries, c.primaries);
        EXPECT_EQ(h.transfer, 1);
        EXPECT_EQ(h.matrix, c.matrix);
        EXPECT_EQ(decodeBarcode(out.packets[0].bytes, settings.width, settings.height), 3u);
    }
}

TEST(ProResSession, OnlyTheProResFamilyIsAccepted)
{
    for (int index : {-1, 5, 6, 100}) {
        ProResSession session;
        ProResSettings settings;
        settings.width = 64;
        settings.height = 36;
        settings.codecIndex = index;
        std::string error;
        EXPECT_EQ(session.open(settings, &error), -1);
        EXPECT_NE(error.find("only 0 to 4"), std::string::npos) << error;
        EXPECT_FALSE(session.isOpen());
        EXPECT_EQ(proResFlavour(index), nullptr);
    }
    ProResSession session;
    ProResSettings odd;
    odd.width = 63;
    odd.height = 36;
    EXPECT_EQ(session.open(odd, nullptr), -1);
    Collector out;
    uint8_t pixel[4] = {};
    EXPECT_LT(session.encode(pixel, 4, 0, out), 0); // not open
}

TEST(ProResSession, NoisyPicturesNeverGiveAFrameLargerThanTheFlavoursSlot)
{
    // Ramps with random low bits everywhere, like a noisy camera: more than the fast encoder fits
    // in a movie's slot, so those frames are compressed again within it, the session goes over to
    // a fixed quantiser, and then clean pictures let it go finer again. Every frame on the way
    // fits, decodes to its own picture and keeps the header of the flavour.
    constexpr int kWidth = 1920, kHeight = 1080; // the slot sizes are made for full-size pictures
    constexpr int kNoisy = 10, kFrames = 48;
    for (const int index : {1, 0}) {
        SCOPED_TRACE(index);
        ProResSession session;
        ProResSettings settings = sized(kWidth, kHeight, index);
        settings.interlaced = true;
        ASSERT_EQ(session.open(settings, nullptr), 0);
        const auto slot = size_t(double(kWidth * kHeight) * proResFlavour(index)->bytesPerPixel);
        Collector out;
        uint32_t noise = 99;
        for (int k = 0; k < kFrames; ++k) {
            std::vector<uint8_t> bytes = picture(kWidth, kHeight, uint32_t(k));
            for (int y = 0; k < kNoisy && y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    noise = noise * 1664525u + 1013904223u;
                    uint8_t* q = &bytes[size_t(y * kWidth * 2 + x * 2)];
                    q[0] = uint8_t(64 + (x + y + k * 8) % 128 + (noise >> 30));
                    q[1] = uint8_t(16 + (x + y + k * 4) % 200 + (noise >> 29));
                }
            platform::FrameBarcode::draw(uint32_t(k), bytes.data(), kWidth, kHeight, kWidth * 2,
                                         platform::BarcodePixels::Uyvy422);
            ASSERT_EQ(session.encode(bytes.data(), kWidth * 2, k, out), 0);
        }
        ASSERT_EQ(session.drain(out), 0);
        ASSERT_EQ(out.packets.size(), size_t(kFrames));
        for (int k = 0; k < kFrames; ++k) {
            const auto& frame = out.packets[size_t(k)].bytes;
            EXPECT_EQ(out.packets[size_t(k)].tag, k);
            EXPECT_LE(frame.size(), slot) << k;
            const FrameHeader h = header(frame);
            EXPECT_EQ(h.creator, "apl0") << k;
            EXPECT_EQ(h.chroma, index == 0 ? 3 : 2) << k;
            EXPECT_EQ(h.interlace, 1) << k;
            EXPECT_EQ(h.primaries, 1) << k;
            EXPECT_EQ(decodeBarcode(frame, kWidth, kHeight), uint32_t(k)) << k;
        }
    }
}
