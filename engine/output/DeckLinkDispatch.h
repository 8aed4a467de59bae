#pragma once
// The SDI card API, loaded at run time: a new card iterator, or null when no card backend is
// installed. Loading happens once per process, on first use.

#include "platform/decklink/DeckLinkInterfaces.h"

platform::decklink::IDeckLinkIterator* DeckLinkDispatch();
