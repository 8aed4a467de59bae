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
    return m_ModeCount;
}

const outputMode* ssBaseOutput::GetMode(int32_t index)
{
    if (index < 0 || index >= m_ModeCount)
        return nullptr;
    return &m_Modes[size_t(index)];
}

int32_t ssBaseOutput::SelectMode(int32_t index)
{
    if (index < 0 || index >= m_ModeCount)
        return -1;
    m_CurrentMode = index;
    return 0;
}

void ssBaseOutput::SetName(const char* name)
{
    ssCopyName(m_Name, int32_t(sizeof m_Name), name);
}

void ssBaseOutput::AddMode(const outputMode& mode)
{
    m_Modes.push_back(mode);
    m_ModeCount = int32_t(m_Modes.size());
}
