#include "mediahelper/service/JobLanes.h"

#include "platform/foundation/Log.h"

#include <exception>

namespace clipwright {

JobLanes::JobLanes()
    : worker_([this] { run(); })
{
}

JobLanes::~JobLanes()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (auto& lane : lanes_)
            lane.clear();
    }
    wake_.notify_all();
    worker_.join();
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
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        lanes_[int(lane)].push_back(std::move(job));
    }
    wake_.notify_one();
}

std::size_t JobLanes::queued(Lane lane) const
{
    std::lock_guard lock(mutex_);
    return lanes_[int(lane)].size();
}

void JobLanes::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] {
            return stopping_ || !lanes_[0].empty() || !lanes_[1].empty() || !lanes_[2].empty();
        });
        if (stopping_)
            return;
        std::function<void()> job;
        for (auto& lane : lanes_) {
            if (!lane.empty()) {
                job = std::move(lane.front());
                lane.pop_front();
                break;
            }
        }
        lock.unlock();
        try {
            job();
        } catch (const std::exception& e) {
            platform::log("com.quenmark.clipwright", "service", platform::LogLevel::Error,
                          std::string("job failed: ") + e.what());
        } catch (...) {
            platform::log("com.quenmark.clipwright", "service", platform::LogLevel::Error, "job failed");
        }
        job = nullptr; // captured state goes before the next job is picked
        lock.lock();
    }
}

} // namespace clipwright
