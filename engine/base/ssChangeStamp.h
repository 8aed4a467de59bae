#pragma once
// A running 64-bit hash of the values a picture is drawn from: two stamps differ whenever one of
// the values did, so a view compares stamps instead of drawing again what it already shows.

#include <cmath>
#include <cstdint>
#include <cstring>

class ssChangeStamp {
public:
    ssChangeStamp& Add(uint64_t value)
    {
        for (int i = 0; i < 8; ++i) {
            Value_ ^= (value >> (8 * i)) & 0xff;
            Value_ *= 0x100000001b3ull;
        }
        return *this;
    }
    ssChangeStamp& Add(double value)
    {
        uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        return Add(bits);
    }
    ssChangeStamp& Add(int64_t value) { return Add(uint64_t(value)); }
    ssChangeStamp& Add(int32_t value) { return Add(uint64_t(int64_t(value))); }
    ssChangeStamp& Add(bool value) { return Add(uint64_t(value ? 1 : 0)); }
    // A meter level: steps finer than a quarter dB never move a drawn level by a pixel.
    ssChangeStamp& AddLevelDb(double db) { return Add(int64_t(std::isfinite(db) ? std::floor(db * 4.0) : -1e9)); }
    uint64_t Value() const { return Value_; }

private:
    uint64_t Value_ = 0xcbf29ce484222325ull;
};
