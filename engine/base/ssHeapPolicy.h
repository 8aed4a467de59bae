#pragma once
// How the engine's picture-sized blocks meet the C library's heap, so that memory a channel frees
// goes back to the system.
//
// The C library keeps freed memory for later allocations: in each thread's arena, and, once a
// large block has been freed, blocks up to that size too (it raises its threshold for mapping
// blocks of their own as it sees them freed). A channel that played 1080 pictures and unloaded its
// clip would stay at its playing size.

// Blocks of a 1080 picture and more (4 MB of packed 4:2:2, decoder planes, textures) are mapped
// on their own and unmapped when freed, whichever thread frees them and however late; smaller
// ones (compressed packets) stay in the arenas, where they are reused without system calls.
//
// Freed memory at the end of a thread's arena is cut back as soon as it passes a fixed 1 MiB.
// Small blocks are not parked in the library's fast lists: a trim merges parked blocks with
// their free neighbours into the arena's end without cutting it back, and a reader's arena of
// freed packets (16 MiB) would then stay resident after its clip is unloaded.
// Process-wide; called once by the first engine, again is harmless.
void ssApplyHeapPolicy();

// Gives the pages of freed heap memory in every arena back to the system. Walks every arena under
// its lock: call it after a large release, never on a presenting thread.
void ssReturnFreedMemory();

// The same, a moment later on a thread of its own, for memory that is let go of just after a
// call: a view's GL context frees a released file's textures only when it next draws. Requests
// close together share one pass. Cheap to call from any thread.
void ssReturnFreedMemorySoon();

// How long after the last request that pass runs.
inline constexpr int ssSoonTrimMilliseconds = 250;
