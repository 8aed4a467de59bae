#include "platform/midi/MidiBackend.h"

#include "platform/midi/AlsaMidiBackend.h"

#include <mutex>

namespace platform::midi {

namespace {

std::mutex& backendMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<MidiBackend>& installed()
{
    static std::shared_ptr<MidiBackend> backend;
    return backend;
}

} // namespace

std::shared_ptr<MidiBackend> backend()
{
    std::lock_guard lock(backendMutex());
    std::shared_ptr<MidiBackend>& current = installed();
    if (!current)
        current = std::make_shared<AlsaMidiBackend>();
    return current;
}

void setBackend(std::shared_ptr<MidiBackend> backend)
{
    std::lock_guard lock(backendMutex());
    installed() = std::move(backend);
}

} // namespace platform::midi
