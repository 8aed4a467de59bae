#include "engine/decoder/ss2vuyRows.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ss2vuy {
namespace {

inline unsigned deep(const uint8_t* plane, int x, unsigned top, bool bigEndian)
{
    const uint8_t* p = plane + 2 * x;
    const unsigned v = bigEndian ? unsigned(p[0] << 8 | p[1]) : unsigned(p[1] << 8 | p[0]);
    return v < top ? v : top;
}

inline void put(uint8_t* out, int pair, unsigned cb, unsigned y0, unsigned cr, unsigned y1)
{
    uint8_t* p = out + 4 * pair;
    p[0] = uint8_t(cb);
    p[1] = uint8_t(y0);
    p[2] = uint8_t(cr);
    p[3] = uint8_t(y1);
}

#if defined(__SSE2__)
constexpr int kPairsPerStep = 8; // 16 pixels

// Interleaves 8 Cb and 8 Cr bytes (the low halves) with 16 luma bytes into 32 '2vuy' bytes.
inline void store8Pairs(uint8_t* out, __m128i cb, __m128i cr, __m128i y)
{
    const __m128i cbcr = _mm_unpacklo_epi8(cb, cr);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(cbcr, y));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(cbcr, y));
}

inline __m128i load16(const uint8_t* p, bool bigEndian)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return bigEndian ? _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)) : v;
}

// Eight deep samples to bytes: min(v, top) >> shift, which is min(v >> shift, 255) (the pack
// saturates). shift is at least 1, so the shifted values are positive as the pack wants.
inline __m128i deepBytes(__m128i a, __m128i b, __m128i shift)
{
    return _mm_packus_epi16(_mm_srl_epi16(a, shift), _mm_srl_epi16(b, shift));
}

// Sixteen 4:4:4 chroma samples (two registers) to the eight bytes of their pair means.
inline __m128i pairMeanBytes(__m128i a, __m128i b, __m128i top, __m128i shift)
{
    const __m128i low16 = _mm_set1_epi32(0xFFFF);
    const __m128i one = _mm_set1_epi32(1);
    auto means = [&](__m128i v) {
        v = _mm_sub_epi16(v, _mm_subs_epu16(v, top)); // min(v, top)
        const __m128i sum = _mm_add_epi32(_mm_add_epi32(_mm_and_si128(v, low16), _mm_srli_epi32(v, 16)), one);
        return _mm_srl_epi32(_mm_srli_epi32(sum, 1), shift);
    };
    const __m128i words = _mm_packs_epi32(means(a), means(b)); // each at most 255
    return _mm_packus_epi16(words, words);
}
#endif

} // namespace

void rowPlanar8(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pairs, int chromaShift)
{
    int p = 0;
#if defined(__SSE2__)
    if (chromaShift == 1) {
        for (; p + kPairsPerStep <= pairs; p += kPairsPerStep)
            store8Pairs(out + 4 * p, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + p)),
                        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + p)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + 2 * p)));
    } else if (chromaShift == 2) {
        for (; p + kPairsPerStep <= pairs; p += kPairsPerStep) {
            int32_t b, r; // four chroma samples serve the eight pairs
            std::memcpy(&b, cb + p / 2, 4);
            std::memcpy(&r, cr + p / 2, 4);
            const __m128i vb = _mm_cvtsi32_si128(b), vr = _mm_cvtsi32_si128(r);
            store8Pairs(out + 4 * p, _mm_unpacklo_epi8(vb, vb), _mm_unpacklo_epi8(vr, vr),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + 2 * p)));
        }
    }
#endif
    for (; p < pairs; ++p) {
        const int c = (2 * p) >> chromaShift;
        put(out, p, cb[c], y[2 * p], cr[c], y[2 * p + 1]);
    }
}

void row422Deep(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pairs, int bits,
                bool bigEndian)
{
    int p = 0;
#if defined(__SSE2__)
    const __m128i shift = _mm_cvtsi32_si128(bits - 8);
    for (; p + kPairsPerStep <= pairs; p += kPairsPerStep) {
        const __m128i luma = deepBytes(load16(y + 4 * p, bigEndian), load16(y + 4 * p + 16, bigEndian), shift);
        const __m128i b = load16(cb + 2 * p, bigEndian), r = load16(cr + 2 * p, bigEndian);
        store8Pairs(out + 4 * p, deepBytes(b, b, shift), deepBytes(r, r, shift), luma);
    }
#endif
    const unsigned top = (1u << bits) - 1u;
    const int down = bits - 8;
    for (; p < pairs; ++p)
        put(out, p, deep(cb, p, top, bigEndian) >> down, deep(y, 2 * p, top, bigEndian) >> down,
            deep(cr, p, top, bigEndian) >> down, deep(y, 2 * p + 1, top, bigEndian) >> down);
}

void row444Deep(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int pairs, int bits,
                bool bigEndian)
{
    const unsigned top = (1u << bits) - 1u;
    const int down = bits - 8;
    int p = 0;
#if defined(__SSE2__)
    const __m128i shift = _mm_cvtsi32_si128(down);
    const __m128i topWords = _mm_set1_epi16(int16_t(top));
    for (; p + kPairsPerStep <= pairs; p += kPairsPerStep) {
        const uint8_t* yp = y + 4 * p;
        const uint8_t* bp = cb + 4 * p;
        const uint8_t* rp = cr + 4 * p;
        const __m128i luma = deepBytes(load16(yp, bigEndian), load16(yp + 16, bigEndian), shift);
        store8Pairs(out + 4 * p, pairMeanBytes(load16(bp, bigEndian), load16(bp + 16, bigEndian), topWords, shift),
                    pairMeanBytes(load16(rp, bigEndian), load16(rp + 16, bigEndian), topWords, shift), luma);
    }
#endif
    for (; p < pairs; ++p) {
        const int x = 2 * p;
        const unsigned b = (deep(cb, x, top, bigEndian) + deep(cb, x + 1, top, bigEndian) + 1u) >> 1;
        const unsigned r = (deep(cr, x, top, bigEndian) + deep(cr, x + 1, top, bigEndian) + 1u) >> 1;
        put(out, p, b >> down, deep(y, x, top, bigEndian) >> down, r >> down, deep(y, x + 1, top, bigEndian) >> down);
    }
}

} // namespace ss2vuy
