#pragma once
// Which engines follow which master, by address only (never dereferenced), so that an engine can
// tell whether any other engine follows it.

class ssMediaDecoder3;

namespace ssEngineLinks {
// follower now follows master (null: nobody).
void Record(const ssMediaDecoder3* follower, const ssMediaDecoder3* master);
// An engine that goes away: neither its own link nor the links to it remain.
void Forget(const ssMediaDecoder3* engine);
bool IsFollowed(const ssMediaDecoder3* master);
} // namespace ssEngineLinks
