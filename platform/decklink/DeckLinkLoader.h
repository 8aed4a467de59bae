#pragma once

// Finds the card backend at run time. No plugin, or a plugin that cannot be loaded, means no cards:
// every call then yields null, and nothing is printed.

#include "platform/decklink/DeckLinkBackend.h"

#include <string>

namespace platform::decklink {

// Environment variable naming the backend plugin; it wins over setPluginPath.
inline constexpr const char* kPluginEnvironmentVariable = "KLV_DECKLINK_PLUGIN";

// One loaded (or missing) plugin.
class DeckLinkLoader {
public:
    explicit DeckLinkLoader(const std::string& path);
    DeckLinkLoader(const DeckLinkLoader&) = delete;
    DeckLinkLoader& operator=(const DeckLinkLoader&) = delete;

    bool isLoaded() const { return backend_ != nullptr; }
    IDeckLinkBackend* backend() const { return backend_; }
    // Why loading failed; empty when it worked or when no path was given.
    const std::string& error() const { return error_; }

    // A new iterator, or null without a backend.
    IDeckLinkIterator* CreateIterator() const;

private:
    IDeckLinkBackend* backend_ = nullptr;
    std::string error_;
};

// The path the application configured (its user default); used when the environment names none.
// Takes effect only before the first CreateDeckLinkIteratorInstance.
void setPluginPath(const std::string& path);

// The plugin path in effect: the environment variable, else the configured path, else empty.
std::string pluginPath();

// The process-wide plugin, loaded once on first use (thread-safe); each call makes a new iterator,
// or returns null when there is no backend.
IDeckLinkIterator* CreateDeckLinkIteratorInstance();

// The process-wide loader itself (loads on first use).
const DeckLinkLoader& sharedLoader();

} // namespace platform::decklink
