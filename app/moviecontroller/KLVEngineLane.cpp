#include "app/moviecontroller/KLVEngineLane.h"

#include "platform/foundation/Log.h"

#include <QString>

#include <exception>

KLVEngineLane::KLVEngineLane() : thread_([this] { loop(); }) {}

void KLVEngineLane::stop()
{
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
        unfinished_ -= int(queue_.size());
        queue_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable() && !runsHere())
        thread_.join();
}

void KLVEngineLane::post(std::function<void()> job, Kind kind)
{
    {
        std::lock_guard guard(lock_);
        if (stopping_)
            return;
        if (kind != kOrdinary && !queue_.empty() && queue_.back().kind == kind) {
            queue_.back().run = std::move(job);
            return;
        }
        queue_.push_back({std::move(job), kind});
        ++unfinished_;
    }
    wake_.notify_one();
}

bool KLVEngineLane::busy() const
{
    std::lock_guard guard(lock_);
    return unfinished_ > 0;
}

void KLVEngineLane::loop()
{
    for (;;) {
        Job job;
        {
            std::unique_lock guard(lock_);
            wake_.wait(guard, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            job.run();
        } catch (const std::exception& e) {
            platform::log("com.quenmark.Kalvanto", "engine", platform::LogLevel::Error,
                          QStringLiteral("Engine job failed: %1").arg(QString::fromUtf8(e.what())));
        }
        std::lock_guard guard(lock_);
        --unfinished_;
    }
}
