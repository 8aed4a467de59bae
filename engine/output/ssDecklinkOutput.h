#pragma once
// An SDI card as an output device: its name, its modes (output modes, or the input modes of a
// capture-only card) and the card interfaces the playout and the record path use.

#include "engine/output/ssBaseOutput.h"
#include "platform/decklink/DeckLinkInterfaces.h"

#include <vector>

class ssDecklinkOutput : public ssBaseOutput {
public:
    ssDecklinkOutput();
    ~ssDecklinkOutput() override;

    // Reads the card's name and modes; flags 3 with an output side, 2 without. Returns 0.
    int32_t Init(platform::decklink::IDeckLink* device);

    platform::decklink::IDeckLinkOutput* GetOutput() const { return Output_; }
    // The card's mode object for a mode index, or null when out of range.
    platform::decklink::IDeckLinkDisplayMode* GetDisplayMode(int32_t index) const;

    platform::decklink::IDeckLink* Device_ = nullptr;
    platform::decklink::IDeckLinkOutput* Output_ = nullptr;
    std::vector<platform::decklink::IDeckLinkDisplayMode*> DisplayModes_;

private:
    void ListModes(platform::decklink::IDeckLinkDisplayModeIterator* iterator);
};
