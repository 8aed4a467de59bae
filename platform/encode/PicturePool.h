#pragma once

struct AVFrame;

namespace platform::encode {

// The next of `count` preallocated pictures that no encoder still references, searched from
// `*next` round the ring (which moves past it); when all are held, the one at `*next` is made
// writable (a copy). Null only when that copy fails.
AVFrame* takeWritablePicture(AVFrame* const* pictures, int count, int* next);

} // namespace platform::encode
