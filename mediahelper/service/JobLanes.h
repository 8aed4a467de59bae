#pragma once
// The helper's three job queues, "metadataQueue", "thumbQueue" and "slateQueue": one job at a
// time, never interrupted; when a job ends the next comes from the first non-empty lane in that
// order, so while any metadata job waits no thumbnail or slate starts, and while any thumbnail
// waits no slate starts. Within a lane jobs run in arrival order. Jobs are queued from the
// connection's thread.
//
// No job can hold the others for good: one that runs past the stall bound (a file on a hung
// share, a decoder that never returns) stops counting, and the next job starts on another
// worker thread while it goes on. At most kMaxWorkers jobs run at once.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace clipwright {

enum class Lane { Metadata = 0, Thumbnail = 1, Slate = 2 };

class JobLanes {
public:
    static constexpr std::chrono::milliseconds kDefaultStallAfter{5000};
    static constexpr std::size_t kMaxWorkers = 8;

    explicit JobLanes(std::chrono::milliseconds stallAfter = kDefaultStallAfter);
    // Jobs still queued are dropped; a running one finishes first, unless it has stalled: that
    // one is left to its thread, which must not outlive what the job uses (see stalled()).
    ~JobLanes();
    JobLanes(const JobLanes&) = delete;
    JobLanes& operator=(const JobLanes&) = delete;

    static const char* label(Lane lane);

    void enqueue(Lane lane, std::function<void()> job);
    // Jobs queued in a lane (not counting running ones).
    std::size_t queued(Lane lane) const;
    // Jobs still running past the stall bound.
    std::size_t stalled() const;

    struct State; // shared with the worker threads, which a stalled job may keep alive

private:
    std::shared_ptr<State> state_;
};

} // namespace clipwright
