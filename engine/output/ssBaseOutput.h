#pragma once
// An output device a channel plays to: a screen (ssDVIOutput) or an SDI card (ssDecklinkOutput),
// with the list of its video modes.

#include "engine/output/outputMode.h"

#include <cstdint>
#include <vector>

class ssBaseOutput {
public:
    static constexpr int32_t kKindScreen = 1;
    static constexpr int32_t kKindDeckLink = 2;
    // Flag bit 0: the device can play out.
    static constexpr int32_t kFlagCanPlay = 1;

    ssBaseOutput() = default;
    virtual ~ssBaseOutput() = default;
    ssBaseOutput(const ssBaseOutput&) = delete;
    ssBaseOutput& operator=(const ssBaseOutput&) = delete;

    virtual int32_t GetModeCount();
    // Null when index is out of range.
    virtual const outputMode* GetMode(int32_t index);
    // 0, or -1 (nothing changes) when index is out of range.
    virtual int32_t SelectMode(int32_t index);
    virtual void ClearFrame() {}

    bool CanPlay() const { return (Flags_ & kFlagCanPlay) != 0; }
    void SetName(const char* name);
    void AddMode(const outputMode& mode);

    char Name_[256] = {};
    int32_t Kind_ = 0;
    int32_t ModeCount_ = 0;
    std::vector<outputMode> Modes_;
    int32_t CurrentMode_ = 0;
    int32_t Flags_ = 1;
};
