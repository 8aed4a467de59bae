#pragma once
// What the Clipwright fuzz targets share: a reply channel that counts its replies, and a wait for
// every job queued so far.
#include "mediahelper/service/JobLanes.h"
#include "platform/xpc/XpcServiceHost.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace fuzzsupport {

class CountingReply final : public platform::XpcReplyChannel {
public:
    bool send(const QCborMap& reply) override
    {
        last = reply;
        ++count;
        return true;
    }
    std::atomic<int> count{0};
    QCborMap last; // read once the jobs have drained
};

// Waits until every job queued so far has ended: the slate lane runs last, in arrival order.
inline void drain(clipwright::JobLanes& lanes)
{
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    lanes.enqueue(clipwright::Lane::Slate, [&] {
        std::lock_guard lock(mutex);
        done = true;
        cv.notify_all();
    });
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return done; });
}

} // namespace fuzzsupport

// Each Clipwright fuzz target is its own program and includes this once. fontconfig keeps what it
// allocates for its configuration on first use of a font for good, and the font caches of the Gui
// library, FreeType and HarfBuzz hang off it until the process ends: the libraries' caches, not
// leaks of ours.
extern "C" const char* klv_extra_leak_suppressions()
{
    return "leak:libfontconfig.so\nleak:libQt6Gui.so\nleak:libfreetype.so\nleak:libharfbuzz.so\n";
}
