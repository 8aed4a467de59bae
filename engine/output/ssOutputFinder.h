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
    int32_t GetCount() const { return Count_; }

private:
    int32_t Count_ = 0;
    std::vector<ssBaseOutput*> List_;
    std::vector<std::unique_ptr<ssBaseOutput>> Owned_; // every output ever made
};
