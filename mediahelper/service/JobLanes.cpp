#include "mediahelper/service/JobLanes.h"

#include "platform/foundation/Log.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

namespace clipwright {

namespace {

using Clock = std::chrono::steady_clock;

void logLine(platform::LogLevel level, const std::string& line)
{
    platform::log("com.quenmark.clipwright", "service", level, line);
}

} // namespace

struct JobLanes::State {
    explicit State(std::chrono::milliseconds stall) : stallAfter(stall) {}

    bool hasQueued() const { return !lanes[0].empty() || !lanes[1].empty() || !lanes[2].empty(); }
    std::function<void()> takeNext()
    {
        for (auto& lane : lanes) {
            if (!lane.empty()) {
                auto job = std::move(lane.front());
                lane.pop_front();
                return job;
            }
        }
        return {};
    }
    void startWorker(const std::shared_ptr<State>& self)
    {
        ++workers;
        std::thread([self] { self->work(self); }).detach();
    }
    void work(const std::shared_ptr<State>& self);

    const std::chrono::milliseconds stallAfter;
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> lanes[3];
    bool stopping = false;
    // The job that holds the others back, until it runs past its deadline.
    bool leadRunning = false;
    std::uint64_t leadId = 0;
    Clock::time_point leadDeadline;
    std::uint64_t nextId = 0;
    std::size_t workers = 0; // threads alive
    std::size_t idle = 0;    // of which waiting for a job
    std::size_t stalledJobs = 0;
};

void JobLanes::State::work(const std::shared_ptr<State>& self)
{
    std::unique_lock lock(mutex);
    for (;;) {
        ++idle;
        for (;;) {
            if (stopping) {
                --idle;
                --workers;
                wake.notify_all();
                return;
            }
            if (!hasQueued()) {
                wake.wait(lock);
                continue;
            }
            if (!leadRunning)
                break;
            if (Clock::now() >= leadDeadline) {
                leadRunning = false;
                ++stalledJobs;
                logLine(platform::LogLevel::Error,
                        "a job has run for " + std::to_string(stallAfter.count())
                            + " ms; the next one starts beside it");
                break;
            }
            wake.wait_until(lock, leadDeadline);
        }
        --idle;
        std::function<void()> job = takeNext();
        const std::uint64_t id = ++nextId;
        leadRunning = true;
        leadId = id;
        leadDeadline = Clock::now() + stallAfter;
        // Someone must be waiting to take over should this job stall.
        if (idle == 0 && workers < kMaxWorkers)
            startWorker(self);
        lock.unlock();
        try {
            job();
        } catch (const std::exception& e) {
            logLine(platform::LogLevel::Error, std::string("job failed: ") + e.what());
        } catch (...) {
            logLine(platform::LogLevel::Error, "job failed");
        }
        job = nullptr; // captured state goes before the next job is picked
        lock.lock();
        if (leadRunning && leadId == id)
            leadRunning = false;
        else
            --stalledJobs;
        wake.notify_all();
    }
}

JobLanes::JobLanes(std::chrono::milliseconds stallAfter)
    : state_(std::make_shared<State>(stallAfter))
{
    std::lock_guard lock(state_->mutex);
    state_->startWorker(state_);
}

JobLanes::~JobLanes()
{
    std::unique_lock lock(state_->mutex);
    state_->stopping = true;
    for (auto& lane : state_->lanes)
        lane.clear();
    state_->wake.notify_all();
    // Every thread but those of stalled jobs ends; a job that stalls while we wait is left too.
    while (state_->workers > state_->stalledJobs) {
        if (state_->leadRunning)
            state_->wake.wait_until(lock, state_->leadDeadline);
        else
            state_->wake.wait(lock);
        if (state_->leadRunning && Clock::now() >= state_->leadDeadline) {
            state_->leadRunning = false;
            ++state_->stalledJobs;
        }
    }
}

const char* JobLanes::label(Lane lane)
{
    switch (lane) {
    case Lane::Metadata:
        return "metadataQueue";
    case Lane::Thumbnail:
        return "thumbQueue";
    case Lane::Slate:
        break;
    }
    return "slateQueue";
}

void JobLanes::enqueue(Lane lane, std::function<void()> job)
{
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping)
            return;
        state_->lanes[int(lane)].push_back(std::move(job));
    }
    state_->wake.notify_all();
}

std::size_t JobLanes::queued(Lane lane) const
{
    std::lock_guard lock(state_->mutex);
    return state_->lanes[int(lane)].size();
}

std::size_t JobLanes::stalled() const
{
    std::lock_guard lock(state_->mutex);
    return state_->stalledJobs;
}

} // namespace clipwright
