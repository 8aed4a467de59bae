#pragma once
// The error reporter: handled reports, crashes (through CrashCapture), app hangs (through
// AppHangDetector), breadcrumbs and sessions, delivered by a DeliveryQueue on its notify and
// sessions channels.
//
// Nothing leaves the machine before the owner says so: the notify and sessions channels start
// Held; the first setDeliveryEnabled() opens them (everything kept so far goes out) or closes
// them (everything kept so far is purged, and later reports are not even stored). Reports are
// stored only for a release stage among the enabled ones.
//
// A report is committed to the store before notify() returns, so a report made just before
// the program stops is not lost.

#include "platform/reporting/AppHangDetector.h"
#include "platform/reporting/Breadcrumbs.h"
#include "platform/reporting/DeliveryQueue.h"
#include "platform/reporting/ReportEvent.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

namespace platform::reporting {

struct NotifierConfiguration {
    std::string apiKey;
    std::string releaseStage = "production";
    std::set<std::string> enabledReleaseStages; // empty: every stage delivers
    int appHangThresholdMillis = 2000;          // 0: no hang detection
    std::string appVersion;
    // Where the crash file and the hang marker live (created when missing).
    std::string storageFolder;
    // Runs a function on the main thread; hang detection needs it.
    AppHangDetector::Dispatcher mainThreadDispatcher;
    bool captureCrashes = true;
    std::size_t maxBreadcrumbs = BreadcrumbRing::kDefaultCapacity;
    int appHangPollMillis = 100;
};

// File names inside the storage folder.
inline constexpr const char* kCrashFileName = "crash.report";
inline constexpr const char* kHangMarkerFileName = "apphang.json";

inline constexpr const char* kAppHangErrorClass = "App Hang";

class Notifier {
public:
    explicit Notifier(std::shared_ptr<DeliveryQueue> delivery);
    // Stops hang detection and removes the crash handlers.
    ~Notifier();
    Notifier(const Notifier&) = delete;
    Notifier& operator=(const Notifier&) = delete;

    // Once: turns a crash file or hang marker of the previous run into reports, installs crash
    // capture, starts hang detection and a session. False when already started or the storage
    // folder cannot be made.
    bool start(NotifierConfiguration configuration);
    bool isStarted() const;
    const NotifierConfiguration& configuration() const { return configuration_; }
    bool deliversForReleaseStage() const;

    // Ends the launch period (reports say whether they happened while launching).
    void markLaunchCompleted();
    bool isLaunching() const;

    // --- sessions ---
    void startSession();
    // Reports made while paused carry no session; nothing is sent for the pause itself.
    void pauseSession();
    // Resumes the paused session, or starts a new one when there is none.
    void resumeSession();
    std::optional<std::string> currentSessionId() const;

    // --- the user's switch ---
    void setDeliveryEnabled(bool enabled);
    std::optional<bool> deliveryEnabled() const; // nothing while still held

    // --- reports ---
    // onError may change the report; answering false drops it. Answers whether it was stored.
    using OnError = std::function<bool(ReportEvent&)>;
    bool notify(ReportEvent event, const OnError& onError = {});
    // A handled report of the calling thread's stack (without skipFrames of the caller's own).
    static ReportEvent handledEvent(std::string errorClass, std::string message, Severity severity,
                                    int skipFrames = 0);

    // --- breadcrumbs ---
    void leaveBreadcrumb(std::string message, nlohmann::json metadata = nullptr,
                         BreadcrumbType type = BreadcrumbType::Manual);
    std::vector<Breadcrumb> breadcrumbs() const;

    // --- hangs and stops ---
    void suspendAppHangDetection();
    void resumeAppHangDetection();
    // The program stops next, its report already stored: the crash that follows adds none.
    void prepareForFatalStop();

    std::string crashFilePath() const;
    std::string hangMarkerPath() const;

private:
    nlohmann::json appJson() const;
    nlohmann::json sessionJsonLocked() const;
    nlohmann::json contextJsonLocked() const;
    nlohmann::json payload(const nlohmann::json& event) const;
    bool store(const nlohmann::json& event);
    void refreshSnapshot();
    void sendSessionLocked();
    void reportPreviousRun();
    void hangBegan();
    void hangEnded(std::chrono::milliseconds duration, bool reportable);

    std::shared_ptr<DeliveryQueue> delivery_;
    NotifierConfiguration configuration_;
    std::atomic<bool> started_ {false};
    std::atomic<bool> launching_ {true};
    std::unique_ptr<BreadcrumbRing> breadcrumbs_;

    mutable std::mutex mutex_; // session fields
    struct Session {
        std::string id;
        std::int64_t startedAt = 0;
        int handled = 0;
        int unhandled = 0;
    };
    std::optional<Session> session_;
    bool sessionPaused_ = false;

    std::unique_ptr<AppHangDetector> hangDetector_;
    bool ownsCrashCapture_ = false;
};

} // namespace platform::reporting
