#pragma once
// Walking up an engine's chain of masters (a channel linked to one that is linked to another):
// the clock a follower goes by and the loop it goes round with both come from the chain's head.
// A chain that comes back on itself (a self-link, a ring of linked channels read from a document)
// or runs past kMostMasterLinks has no head.

#include <algorithm>

constexpr int kMostMasterLinks = 16;

// From `self` up through each master for which `follows(master)` holds, calling
// onLink(engine, master) for every link passed on the way. Returns the last engine reached (self
// when its first master is not followed), or null for a ring or a chain too long.
template <typename Engine, typename Follows, typename OnLink>
Engine* ssWalkMasters(Engine* self, Follows follows, OnLink onLink)
{
    const Engine* visited[kMostMasterLinks + 1] = {self};
    int count = 1;
    Engine* engine = self;
    for (;;) {
        Engine* master = engine->GetMaster();
        if (!master || master == engine || !follows(*master))
            return engine;
        if (count > kMostMasterLinks || std::find(visited, visited + count, master) != visited + count)
            return nullptr;
        onLink(engine, master);
        visited[count++] = master;
        engine = master;
    }
}
