#include "engine/output/ssDecklinkOutput.h"

#include <string>

using namespace platform::decklink;

ssDecklinkOutput::ssDecklinkOutput()
{
    Kind_ = kKindDeckLink;
}

ssDecklinkOutput::~ssDecklinkOutput()
{
    for (IDeckLinkDisplayMode* mode : DisplayModes_)
        mode->Release();
    if (Output_)
        Output_->Release();
    if (Device_)
        Device_->Release();
}

int32_t ssDecklinkOutput::Init(IDeckLink* device)
{
    if (!device)
        return 0;
    device->AddRef();
    Device_ = device;

    std::string name;
    if (!succeeded(device->GetDisplayName(&name)))
        name = "Unknown DeckLink";
    SetName(name.c_str());

    IDeckLinkDisplayModeIterator* iterator = nullptr;
    if (device->QueryOutput(&Output_) == kOk && Output_) {
        Output_->GetDisplayModeIterator(&iterator);
    } else {
        Output_ = nullptr;
        Flags_ = 2;
        IDeckLinkInput* input = nullptr;
        if (device->QueryInput(&input) == kOk && input) {
            input->GetDisplayModeIterator(&iterator);
            input->Release();
        }
    }
    if (iterator) {
        ListModes(iterator);
        iterator->Release();
    }
    if (Output_)
        Flags_ = 3;
    return 0;
}

void ssDecklinkOutput::ListModes(IDeckLinkDisplayModeIterator* iterator)
{
    IDeckLinkDisplayMode* mode = nullptr;
    while (iterator->Next(&mode) == kOk && mode) {
        outputMode record;
        std::string name;
        mode->GetName(&name);
        ssCopyName(record.name, int32_t(sizeof record.name), name.c_str());
        record.width = int32_t(mode->GetWidth());
        record.height = int32_t(mode->GetHeight());
        TimeValue duration = 0;
        TimeScale scale = 0;
        if (succeeded(mode->GetFrameRate(&duration, &scale)) && duration > 0)
            record.frameRate = float(double(scale) / double(duration));
        record.interlaced = mode->GetFieldDominance() != FieldDominance::Progressive ? 1 : 0;
        DisplayModes_.push_back(mode); // keeps the reference Next handed out
        AddMode(record);
        mode = nullptr;
    }
}

IDeckLinkDisplayMode* ssDecklinkOutput::GetDisplayMode(int32_t index) const
{
    if (index < 0 || size_t(index) >= DisplayModes_.size())
        return nullptr;
    return DisplayModes_[size_t(index)];
}
