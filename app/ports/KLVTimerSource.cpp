#include "app/ports/KLVTimerSource.h"

#include <QElapsedTimer>
#include <QTimer>

namespace {

class QtTimer final : public KLVTimer {
public:
    QtTimer(int intervalMs, bool repeating, std::function<void()> fn, Qt::TimerType type = Qt::PreciseTimer)
        : timer_(new QTimer)
    {
        timer_->setTimerType(type);
        timer_->setSingleShot(!repeating);
        timer_->setInterval(intervalMs);
        QObject::connect(timer_, &QTimer::timeout, timer_, std::move(fn));
        timer_->start();
    }
    // The callback may destroy its own timer: the QTimer is stopped now and deleted once the
    // event loop is back.
    ~QtTimer() override
    {
        timer_->stop();
        timer_->deleteLater();
    }
    void cancel() override { timer_->stop(); }
    bool isActive() const override { return timer_->isActive(); }

private:
    QTimer* timer_;
};

class QtTimerSource final : public KLVTimerSource {
public:
    QtTimerSource() { clock_.start(); }
    std::unique_ptr<KLVTimer> schedule(int intervalMs, bool repeating, std::function<void()> fn) override
    {
        return std::make_unique<QtTimer>(intervalMs, repeating, std::move(fn));
    }
    std::unique_ptr<KLVTimer> scheduleDisplay(int intervalMs, std::function<void()> fn) override
    {
        // Coarse timers of one interval drift onto the same boundaries and fire in one wake.
        return std::make_unique<QtTimer>(intervalMs, true, std::move(fn), Qt::CoarseTimer);
    }
    double nowMs() const override { return double(clock_.nsecsElapsed()) / 1e6; }

private:
    QElapsedTimer clock_;
};

} // namespace

KLVTimerSource& KLVTimerSource::mainLoop()
{
    static QtTimerSource source;
    return source;
}
