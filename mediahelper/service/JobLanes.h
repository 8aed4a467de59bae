#pragma once
// The helper's three job queues, "metadataQueue", "thumbQueue" and "slateQueue", served by one
// worker thread: one job at a time, never interrupted; when a job ends the next comes from the
// first non-empty lane in that order, so while any metadata job waits no thumbnail or slate
// starts, and while any thumbnail waits no slate starts. Within a lane jobs run in arrival
// order. Jobs are queued from the connection's thread.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace clipwright {

enum class Lane { Metadata = 0, Thumbnail = 1, Slate = 2 };

class JobLanes {
public:
    JobLanes();
    // Jobs still queued are dropped; a running one finishes first.
    ~JobLanes();
    JobLanes(const JobLanes&) = delete;
    JobLanes& operator=(const JobLanes&) = delete;

    static const char* label(Lane lane);

    void enqueue(Lane lane, std::function<void()> job);
    // Jobs queued in a lane (not counting a running one).
    std::size_t queued(Lane lane) const;

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> lanes_[3];
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace clipwright
