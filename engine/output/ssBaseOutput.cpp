#include "engine/output/ssBaseOutput.h"

#include <cstring>

void ssCopyName(char* field, int32_t size, const char* text)
{
    if (size <= 0)
        return;
    size_t n = text ? std::strlen(text) : 0;
    if (n > size_t(size - 1)) {
        n = size_t(size - 1);
        // Never end inside a multi-byte sequence: back up over continuation bytes and their lead.
        while (n > 0 && (uint8_t(text[n]) & 0xC0) == 0x80)
            --n;
    }
    if (n)
        std::memcpy(field, text, n);
    field[n] = '\0';
}

int32_t ssBaseOutput::GetModeCount()
{
    return ModeCount_;
}

const outputMode* ssBaseOutput::GetMode(int32_t index)
{
    if (index < 0 || index >= ModeCount_)
        return nullptr;
    return &Modes_[size_t(index)];
}

int32_t ssBaseOutput::SelectMode(int32_t index)
{
    if (index < 0 || index >= ModeCount_)
        return -1;
    CurrentMode_ = index;
    return 0;
}

void ssBaseOutput::SetName(const char* name)
{
    ssCopyName(Name_, int32_t(sizeof Name_), name);
}

void ssBaseOutput::AddMode(const outputMode& mode)
{
    Modes_.push_back(mode);
    ModeCount_ = int32_t(Modes_.size());
}
