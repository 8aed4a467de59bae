#pragma once
// Holds the program's media helper, which makes the slates, stopped (SIGSTOP) while it lives:
// requests wait in its socket until release(). A cue then shows the stock slate and gets its own
// only once the helper goes on.

#include "tests/e2e/support/KalvantoProcess.h"

#include <csignal>
#include <vector>

#include <sys/types.h>

namespace e2e {

class HeldMediaHelper {
public:
    explicit HeldMediaHelper(KalvantoProcess& app)
    {
        waitFor([&] { return !(helpers_ = app.helperChildren()).empty(); }, 30000);
        for (pid_t helper : helpers_)
            ::kill(helper, SIGSTOP);
    }
    ~HeldMediaHelper() { release(); }
    HeldMediaHelper(const HeldMediaHelper&) = delete;
    HeldMediaHelper& operator=(const HeldMediaHelper&) = delete;
    bool held() const { return !helpers_.empty(); }
    void release()
    {
        for (pid_t helper : helpers_)
            ::kill(helper, SIGCONT);
        helpers_.clear();
    }

private:
    std::vector<pid_t> helpers_;
};

} // namespace e2e
