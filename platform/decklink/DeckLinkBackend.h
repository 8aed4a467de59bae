#pragma once

// What a card backend plugin exports: one C function, named kBackendFactorySymbol, that returns the
// plugin's backend. The backend lives as long as the process; plugins are never unloaded, because
// card objects handed out may outlive every loader.

#include "platform/decklink/DeckLinkInterfaces.h"

namespace platform::decklink {

class IDeckLinkBackend {
public:
    // A new iterator over the cards present now, or null when there are none.
    virtual IDeckLinkIterator* CreateIterator() = 0;
    // Backend-specific controls by name (a virtual card's test controls), or null.
    virtual void* QueryExtension(const char* name) = 0;

protected:
    virtual ~IDeckLinkBackend() = default;
};

// The number changes whenever the interfaces change, so an old plugin is not loaded.
inline constexpr const char* kBackendFactorySymbol = "klvDeckLinkBackend_v1";
using BackendFactory = IDeckLinkBackend* (*)();

} // namespace platform::decklink
