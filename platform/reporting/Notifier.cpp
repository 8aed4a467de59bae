#include "platform/reporting/Notifier.h"

#include "platform/reporting/CrashCapture.h"
#include "platform/reporting/Identifiers.h"
#include "platform/reporting/ReportingLog.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace platform::reporting {

namespace {

constexpr std::uintmax_t kMaxHangMarkerBytes = 1u << 20;

nlohmann::json deviceJson()
{
    nlohmann::json device = nlohmann::json::object();
    if (const auto& host = operatingSystem()) {
        device["osName"] = host->name;
        device["osVersion"] = host->version;
    }
    return device;
}

// Write-then-rename, so the marker is either whole or absent after a crash.
bool writeWholeFile(const std::string& path, const std::string& data)
{
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        out.flush();
        if (!out)
            return false;
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    return !ec;
}

std::optional<std::string> readSmallFile(const std::string& path, std::uintmax_t maxBytes)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > maxBytes)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

Notifier::Notifier(std::shared_ptr<DeliveryQueue> delivery) : delivery_(std::move(delivery)) {}

Notifier::~Notifier()
{
    hangDetector_.reset();
    if (ownsCrashCapture_)
        CrashCapture::uninstall();
}

bool Notifier::start(NotifierConfiguration configuration)
{
    if (started_.exchange(true))
        return false;
    configuration_ = std::move(configuration);
    breadcrumbs_ = std::make_unique<BreadcrumbRing>(configuration_.maxBreadcrumbs);
    std::error_code ec;
    std::filesystem::create_directories(configuration_.storageFolder, ec);
    if (ec) {
        reportingLog(ReportingLogLevel::Error, "Cannot create the report folder " + configuration_.storageFolder);
        started_ = false;
        return false;
    }
    delivery_->setHeaders(Channel::Notify, {{"Api-Key", configuration_.apiKey}});
    delivery_->setHeaders(Channel::Sessions, {{"Api-Key", configuration_.apiKey}});

    reportPreviousRun();
    refreshSnapshot();
    if (configuration_.captureCrashes)
        ownsCrashCapture_ = CrashCapture::install(crashFilePath());
    if (configuration_.appHangThresholdMillis > 0 && configuration_.mainThreadDispatcher) {
        hangDetector_ = std::make_unique<AppHangDetector>(
            configuration_.appHangThresholdMillis, configuration_.mainThreadDispatcher, [this] { hangBegan(); },
            [this](std::chrono::milliseconds d, bool reportable) { hangEnded(d, reportable); },
            configuration_.appHangPollMillis);
    }
    startSession();
    return true;
}

bool Notifier::isStarted() const
{
    return started_;
}

bool Notifier::deliversForReleaseStage() const
{
    return configuration_.enabledReleaseStages.empty()
        || configuration_.enabledReleaseStages.count(configuration_.releaseStage) > 0;
}

std::string Notifier::crashFilePath() const
{
    return (std::filesystem::path(configuration_.storageFolder) / kCrashFileName).string();
}

std::string Notifier::hangMarkerPath() const
{
    return (std::filesystem::path(configuration_.storageFolder) / kHangMarkerFileName).string();
}

void Notifier::markLaunchCompleted()
{
    launching_ = false;
    refreshSnapshot();
}

bool Notifier::isLaunching() const
{
    return launching_;
}

// --- sessions -----------------------------------------------------------------------------------

void Notifier::startSession()
{
    if (!started_)
        return;
    {
        std::lock_guard lock(mutex_);
        session_ = Session {randomUuid(), nowMillis(), 0, 0};
        sessionPaused_ = false;
        sendSessionLocked();
    }
    refreshSnapshot();
}

void Notifier::pauseSession()
{
    {
        std::lock_guard lock(mutex_);
        sessionPaused_ = true;
    }
    refreshSnapshot();
}

void Notifier::resumeSession()
{
    bool fresh = false;
    {
        std::lock_guard lock(mutex_);
        if (session_)
            sessionPaused_ = false;
        else
            fresh = true;
    }
    if (fresh)
        startSession();
    else
        refreshSnapshot();
}

std::optional<std::string> Notifier::currentSessionId() const
{
    std::lock_guard lock(mutex_);
    if (!session_ || sessionPaused_)
        return std::nullopt;
    return session_->id;
}

void Notifier::sendSessionLocked()
{
    if (!deliversForReleaseStage() || !session_)
        return;
    nlohmann::json body = {{"app", appJson()},
                           {"device", deviceJson()},
                           {"sessions", nlohmann::json::array({{{"id", session_->id},
                                                                {"startedAt", isoTimestamp(session_->startedAt)}}})}};
    delivery_->enqueue(Channel::Sessions, body.dump());
}

nlohmann::json Notifier::sessionJsonLocked() const
{
    if (!session_ || sessionPaused_)
        return nullptr;
    return {{"id", session_->id},
            {"startedAt", isoTimestamp(session_->startedAt)},
            {"events", {{"handled", session_->handled}, {"unhandled", session_->unhandled}}}};
}

// --- delivery switch ------------------------------------------------------------------------------

void Notifier::setDeliveryEnabled(bool enabled)
{
    const Gate gate = enabled ? Gate::Open : Gate::Closed;
    delivery_->setGate(Channel::Notify, gate);
    delivery_->setGate(Channel::Sessions, gate);
}

std::optional<bool> Notifier::deliveryEnabled() const
{
    const Gate gate = delivery_->gate(Channel::Notify);
    if (gate == Gate::Held)
        return std::nullopt;
    return gate == Gate::Open;
}

// --- reports --------------------------------------------------------------------------------------

nlohmann::json Notifier::appJson() const
{
    return {{"version", configuration_.appVersion},
            {"releaseStage", configuration_.releaseStage},
            {"isLaunching", launching_.load()}};
}

nlohmann::json Notifier::contextJsonLocked() const
{
    return {{"app", appJson()},
            {"device", deviceJson()},
            {"session", sessionJsonLocked()},
            {"breadcrumbs", breadcrumbs_ ? breadcrumbs_->toJson() : nlohmann::json::array()}};
}

nlohmann::json Notifier::payload(const nlohmann::json& event) const
{
    return {{"apiKey", configuration_.apiKey}, {"payloadVersion", "1"}, {"events", nlohmann::json::array({event})}};
}

bool Notifier::store(const nlohmann::json& event)
{
    return delivery_->enqueue(Channel::Notify, payload(event).dump());
}

ReportEvent Notifier::handledEvent(std::string errorClass, std::string message, Severity severity, int skipFrames)
{
    ReportEvent event;
    event.errors.push_back({std::move(errorClass), std::move(message), captureStack(skipFrames + 1)});
    event.severity = severity;
    return event;
}

bool Notifier::notify(ReportEvent event, const OnError& onError)
{
    if (!started_ || !deliversForReleaseStage() || delivery_->gate(Channel::Notify) == Gate::Closed)
        return false;
    if (onError && !onError(event))
        return false;
    nlohmann::json json = event.toJson();
    {
        std::lock_guard lock(mutex_);
        if (session_ && !sessionPaused_)
            ++(event.unhandled ? session_->unhandled : session_->handled);
        json.update(contextJsonLocked());
    }
    json["timestamp"] = isoTimestamp(nowMillis());
    const bool stored = store(json);
    refreshSnapshot();
    return stored;
}

// The crash handler writes this text as it stands: it must always describe the present.
void Notifier::refreshSnapshot()
{
    if (!breadcrumbs_)
        return;
    nlohmann::json context;
    {
        std::lock_guard lock(mutex_);
        context = contextJsonLocked();
    }
    std::string text = context.dump();
    auto& crumbs = context["breadcrumbs"];
    while (!CrashCapture::setSnapshot(text) && !crumbs.empty()) {
        crumbs.erase(crumbs.begin(), crumbs.begin() + static_cast<std::ptrdiff_t>((crumbs.size() + 1) / 2));
        text = context.dump();
    }
}

void Notifier::reportPreviousRun()
{
    const bool wanted = deliversForReleaseStage();
    if (auto crash = readCrashFile(crashFilePath()); crash && wanted) {
        ReportEvent event;
        ReportError error;
        if (crash->kind == "exception") {
            error.errorClass = crash->exceptionType;
            error.message = crash->exceptionMessage;
            event.severityReason = "unhandledException";
        } else {
            error.errorClass = crash->signalName.empty() ? "Signal " + std::to_string(crash->signal) : crash->signalName;
            error.message = std::string(signalDescription(crash->signal)) + " at " + hexAddress(crash->address);
            event.severityReason = "signal";
        }
        error.stacktrace = crash->frames;
        event.errors.push_back(std::move(error));
        event.severity = Severity::Error;
        event.unhandled = true;
        event.addMetadata("signal", "number", crash->signal);
        event.addMetadata("signal", "name", crash->signalName);
        event.addMetadata("signal", "code", crash->code);
        event.addMetadata("signal", "address", hexAddress(crash->address));
        nlohmann::json json = event.toJson();
        const nlohmann::json context = nlohmann::json::parse(crash->snapshot, nullptr, false);
        if (context.is_object()) {
            for (const char* key : {"app", "device", "session", "breadcrumbs"}) {
                if (context.contains(key))
                    json[key] = context[key];
            }
            if (json["session"].is_object() && json["session"]["events"].is_object())
                json["session"]["events"]["unhandled"] = json["session"]["events"].value("unhandled", 0) + 1;
        }
        json["timestamp"] = isoTimestamp(crash->timeMillis);
        store(json);
    }
    if (auto marker = readSmallFile(hangMarkerPath(), kMaxHangMarkerBytes); marker && wanted) {
        const nlohmann::json event = nlohmann::json::parse(*marker, nullptr, false);
        if (event.is_object())
            store(event);
    }
    // Each is reported once, whether or not crash capture is installed again this run.
    std::error_code ec;
    std::filesystem::remove(crashFilePath(), ec);
    std::filesystem::remove(hangMarkerPath(), ec);
}

// --- breadcrumbs --------------------------------------------------------------------------------------

void Notifier::leaveBreadcrumb(std::string message, nlohmann::json metadata, BreadcrumbType type)
{
    if (!breadcrumbs_)
        return;
    breadcrumbs_->add({nowMillis(), std::move(message), type, std::move(metadata)});
    refreshSnapshot();
}

std::vector<Breadcrumb> Notifier::breadcrumbs() const
{
    return breadcrumbs_ ? breadcrumbs_->entries() : std::vector<Breadcrumb>();
}

// --- hangs and stops -----------------------------------------------------------------------------------

void Notifier::suspendAppHangDetection()
{
    if (hangDetector_)
        hangDetector_->suspend();
}

void Notifier::resumeAppHangDetection()
{
    if (hangDetector_)
        hangDetector_->resume();
}

void Notifier::prepareForFatalStop()
{
    CrashCapture::suppressNextCrash();
}

// Written while the hang lasts: if the program is killed before it recovers, the next start
// reports the hang as what ended it.
void Notifier::hangBegan()
{
    ReportEvent event;
    event.errors.push_back({kAppHangErrorClass, "The app was terminated while unresponsive", {}});
    event.severity = Severity::Error;
    event.severityReason = "appHang";
    event.unhandled = true;
    nlohmann::json json = event.toJson();
    {
        std::lock_guard lock(mutex_);
        json.update(contextJsonLocked());
    }
    json["timestamp"] = isoTimestamp(nowMillis());
    if (!writeWholeFile(hangMarkerPath(), json.dump()))
        reportingLog(ReportingLogLevel::Error, "Cannot write the app hang marker");
}

void Notifier::hangEnded(std::chrono::milliseconds duration, bool reportable)
{
    std::error_code ec;
    std::filesystem::remove(hangMarkerPath(), ec);
    if (!reportable)
        return;
    ReportEvent event;
    event.errors.push_back({kAppHangErrorClass,
                            "The app's main thread failed to respond to an event within "
                                + std::to_string(configuration_.appHangThresholdMillis) + " milliseconds",
                            {}});
    event.severity = Severity::Error;
    event.severityReason = "appHang";
    event.addMetadata("appHang", "duration", static_cast<std::int64_t>(duration.count()));
    notify(std::move(event));
}

} // namespace platform::reporting
