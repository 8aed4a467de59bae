#include "engine/output/ssOutputFinder.h"

#include "engine/output/DeckLinkDispatch.h"

using namespace platform::decklink;

int32_t ssOutputFinder::FindOutputs()
{
    m_Count = 0;
    m_List.clear();
    IDeckLinkIterator* iterator = DeckLinkDispatch();
    if (!iterator)
        return 0;
    IDeckLink* device = nullptr;
    while (iterator->Next(&device) == kOk && device) {
        auto output = std::make_unique<ssDecklinkOutput>();
        output->Init(device);
        device->Release();
        device = nullptr;
        m_List.push_back(output.get());
        m_Owned.push_back(std::move(output));
    }
    iterator->Release();
    m_Count = int32_t(m_List.size());
    return m_Count;
}

ssBaseOutput* ssOutputFinder::GetOutput(int32_t index) const
{
    if (index < 0 || index >= m_Count)
        return nullptr;
    return m_List[size_t(index)];
}
