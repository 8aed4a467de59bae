#include "engine/output/ssOutputFinder.h"

#include "engine/output/DeckLinkDispatch.h"

using namespace platform::decklink;

int32_t ssOutputFinder::FindOutputs()
{
    Count_ = 0;
    List_.clear();
    IDeckLinkIterator* iterator = DeckLinkDispatch();
    if (!iterator)
        return 0;
    IDeckLink* device = nullptr;
    while (iterator->Next(&device) == kOk && device) {
        auto output = std::make_unique<ssDecklinkOutput>();
        output->Init(device);
        device->Release();
        device = nullptr;
        List_.push_back(output.get());
        Owned_.push_back(std::move(output));
    }
    iterator->Release();
    Count_ = int32_t(List_.size());
    return Count_;
}

ssBaseOutput* ssOutputFinder::GetOutput(int32_t index) const
{
    if (index < 0 || index >= Count_)
        return nullptr;
    return List_[size_t(index)];
}
