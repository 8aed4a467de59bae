#pragma once
// The SDI cards as output devices, in the card iterator's order.

#include "engine/output/ssDecklinkOutput.h"

#include <memory>
#include <vector>

class ssOutputFinder {
public:
    // Enumerates the cards again; returns the count (0 without a card backend). Outputs of an
    // earlier enumeration stay valid for the finder's lifetime: engines may still hold them.
    int32_t FindOutputs();
    // Null when out of range.
    ssBaseOutput* GetOutput(int32_t index) const;
    int32_t GetCount() const { return m_Count; }

private:
    int32_t m_Count = 0;
    std::vector<ssBaseOutput*> m_List;
    std::vector<std::unique_ptr<ssBaseOutput>> m_Owned; // every output ever made
};
