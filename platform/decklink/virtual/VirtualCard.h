#pragma once

#include "platform/decklink/DeckLinkInterfaces.h"
#include "platform/decklink/virtual/RefCounted.h"
#include "platform/decklink/virtual/VirtualCardState.h"

#include <memory>

namespace platform::decklink {

class VirtualOutput;
class VirtualInput;

// One configured card: its name and the output and input sides it was configured with.
class VirtualCard final : public RefCounted<IDeckLink> {
public:
    explicit VirtualCard(CardConfig config);

    Result GetDisplayName(std::string* name) override;
    Result QueryOutput(IDeckLinkOutput** output) override;
    Result QueryInput(IDeckLinkInput** input) override;

    CardState& state() { return *state_; }

private:
    ~VirtualCard() override;

    std::shared_ptr<CardState> state_;
    VirtualOutput* output_ = nullptr; // one reference each, null for a side the card lacks
    VirtualInput* input_ = nullptr;
};

} // namespace platform::decklink
