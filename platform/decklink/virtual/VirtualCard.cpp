#include "platform/decklink/virtual/VirtualCard.h"

#include "platform/decklink/virtual/VirtualInput.h"
#include "platform/decklink/virtual/VirtualOutput.h"

namespace platform::decklink {

VirtualCard::VirtualCard(CardConfig config) : state_(std::make_shared<CardState>(std::move(config)))
{
    if (state_->config().output)
        output_ = new VirtualOutput(state_);
    if (state_->config().input)
        input_ = new VirtualInput(state_);
}

VirtualCard::~VirtualCard()
{
    if (output_)
        output_->Release();
    if (input_)
        input_->Release();
}

Result VirtualCard::GetDisplayName(std::string* name)
{
    if (!name)
        return kInvalidArgument;
    *name = state_->config().name;
    return kOk;
}

Result VirtualCard::QueryOutput(IDeckLinkOutput** output)
{
    if (!output)
        return kInvalidArgument;
    *output = output_;
    if (!output_)
        return kNoInterface;
    output_->AddRef();
    return kOk;
}

Result VirtualCard::QueryInput(IDeckLinkInput** input)
{
    if (!input)
        return kInvalidArgument;
    *input = input_;
    if (!input_)
        return kNoInterface;
    input_->AddRef();
    return kOk;
}

} // namespace platform::decklink
