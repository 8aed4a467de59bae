#pragma once
// What the engine logs (ssMessage) while an EngineLog lives, held back from the log's sink.

#include "engine/base/ssMessage.h"
#include "platform/log/Log.h"

#include <optional>
#include <string>

namespace testsupport {

class EngineLog {
public:
    // The engine's lines logged so far, each with its newline.
    std::string Text() const
    {
        std::string text;
        for (const platform::LogRecord& record : calls_.records())
            if (record.subsystem == ssMessageSubsystem)
                text += record.message + '\n';
        return text;
    }

private:
    platform::LogCapture calls_;
};

// The same begun and ended by calls, the way a test reads standard output with GoogleTest.
inline std::optional<EngineLog>& engineLogCapturing()
{
    static std::optional<EngineLog> log;
    return log;
}
inline void captureEngineLog()
{
    engineLogCapturing().emplace();
}
inline std::string capturedEngineLog()
{
    const std::string text = engineLogCapturing() ? engineLogCapturing()->Text() : std::string();
    engineLogCapturing().reset();
    return text;
}

} // namespace testsupport
