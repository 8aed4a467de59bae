#pragma once
// Stand-ins for the two things a test cannot or must not use for real: a helper that answers
// wrongly (another version, late, or not at all) and the installer (never pkexec in tests).

#include "platform/privileged/SeqPacketSocket.h"
#include "privhelper/client/HelperInstaller.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeHelperServer {
public:
    enum class Mode { answer, mute };
    // Listens at path; in answer mode replies to a version request with version after delayMs.
    FakeHelperServer(std::string path, Mode mode, std::string version = "1.0", int delayMs = 0);
    ~FakeHelperServer();
    void stop(); // closes everything and removes the socket file

    int connections() const { return connections_; }
    int messages() const { return messages_; }
    int repliesSent() const { return replies_; }

private:
    void loop();

    std::string path_;
    Mode mode_;
    std::string version_;
    int delayMs_;
    platform::privileged::SeqPacketSocket listener_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> messages_{0};
    std::atomic<int> replies_{0};
    std::thread thread_;
};

class FakeInstaller : public HelperInstaller {
public:
    explicit FakeInstaller(std::function<HelperInstallOutcome()> action) : action_(std::move(action)) {}
    HelperInstallOutcome install() override
    {
        ++calls;
        return action_();
    }
    std::atomic<int> calls{0};

private:
    std::function<HelperInstallOutcome()> action_;
};
