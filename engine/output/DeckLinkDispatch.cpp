#include "engine/output/DeckLinkDispatch.h"

#include "platform/decklink/DeckLinkLoader.h"

platform::decklink::IDeckLinkIterator* DeckLinkDispatch()
{
    return platform::decklink::CreateDeckLinkIteratorInstance();
}
