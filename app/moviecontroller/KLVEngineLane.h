#pragma once
// The thread an engine's slow work runs on (opening a file, seeking, stopping its threads), so
// the main thread never waits on a file or a decoder. Jobs run one at a time in the order they
// were posted; a job posted with a coalescing kind replaces a not yet started job of the same
// kind at the end of the queue (a scrub's latest position is the only one worth seeking to).

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class KLVEngineLane {
public:
    enum Kind { kOrdinary = 0, kSeek = 1 };

    KLVEngineLane();
    ~KLVEngineLane() { stop(); }
    KLVEngineLane(const KLVEngineLane&) = delete;
    KLVEngineLane& operator=(const KLVEngineLane&) = delete;

    void post(std::function<void()> job, Kind kind = kOrdinary);
    // Drops what has not started, waits for the running job and ends the thread; later posts
    // are dropped.
    void stop();
    // Jobs posted and not yet finished.
    bool busy() const;
    // True on the lane's own thread (a job calling the engine runs the call directly).
    bool runsHere() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    struct Job {
        std::function<void()> run;
        Kind kind;
    };
    void loop();

    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    int unfinished_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};
