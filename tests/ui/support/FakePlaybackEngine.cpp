#include "tests/ui/support/FakePlaybackEngine.h"

#include <algorithm>
#include <cstdio>

namespace testsupport {

namespace {
std::string withTime(const char* name, double t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s %.3f", name, t);
    return text;
}
} // namespace

int FakePlaybackEngine::count(const std::string& prefix) const
{
    return int(std::count_if(calls.begin(), calls.end(),
                             [&](const std::string& c) { return c.compare(0, prefix.size(), prefix) == 0; }));
}

int32_t FakePlaybackEngine::PrepareNext(const std::string& path, double in, double out, int32_t behaviour)
{
    char range[64];
    std::snprintf(range, sizeof range, " %.3f %.3f %d", in, out, behaviour);
    record("PrepareNext " + path + range);
    return 0;
}

int32_t FakePlaybackEngine::Open(const std::string& path, bool, bool)
{
    record("Open " + path);
    playing = false;
    currentTime = inPoint = 0;
    fileOpen = !path.empty() && openResult == 0;
    outPoint = fileOpen ? fileDuration : 0;
    return path.empty() ? 0 : openResult;
}

int32_t FakePlaybackEngine::Play() { record("Play"); playing = fileOpen; return 0; }
int32_t FakePlaybackEngine::Pause() { record("Pause"); playing = false; return 0; }
int32_t FakePlaybackEngine::Stop() { record("Stop"); playing = false; return 0; }

void FakePlaybackEngine::Enqueue(std::function<void(KLVPlaybackEngine&)> job)
{
    if (holdJobs)
        heldJobs.push_back(std::move(job));
    else
        job(*this);
}

void FakePlaybackEngine::runHeldJobs()
{
    auto jobs = std::move(heldJobs);
    heldJobs.clear();
    for (auto& job : jobs)
        job(*this);
}

int32_t FakePlaybackEngine::Seek(double seconds, int32_t scrub)
{
    record(withTime("Seek", seconds) + " " + std::to_string(scrub));
    playing = false;
    if (fileOpen)
        currentTime = std::clamp(seconds, 0.0, fileDuration);
    return 0;
}

int32_t FakePlaybackEngine::StepForward()
{
    record("StepForward");
    currentTime = std::min(currentTime + 1.0 / frameRate, outPoint);
    return 0;
}

int32_t FakePlaybackEngine::StepBackward()
{
    record("StepBackward");
    playing = false;
    currentTime = std::max(currentTime - 1.0 / frameRate, inPoint);
    return 0;
}

int32_t FakePlaybackEngine::AdjustForward() { record("AdjustForward"); return 0; }
int32_t FakePlaybackEngine::AdjustBackward() { record("AdjustBackward"); return 0; }

int32_t FakePlaybackEngine::SetInPoint(double seconds)
{
    record(withTime("SetInPoint", seconds));
    if (seconds >= outPoint && outPoint > 0)
        return -1;
    inPoint = seconds;
    return 0;
}

int32_t FakePlaybackEngine::SetOutPoint(double seconds)
{
    record(withTime("SetOutPoint", seconds));
    if (seconds <= inPoint)
        return -1;
    outPoint = seconds;
    return 0;
}

int32_t FakePlaybackEngine::SetInOutPoints(double in, double out)
{
    record(withTime("SetInOutPoints", in) + withTime("", out));
    if (out <= in)
        return -1;
    inPoint = in;
    outPoint = out;
    return 0;
}

int32_t FakePlaybackEngine::SetPlaybackBehavior(int32_t b) { record("SetPlaybackBehavior " + std::to_string(b)); behaviour = b; return 0; }
int32_t FakePlaybackEngine::SetVolume(float v) { record(withTime("SetVolume", v)); volume = v; return 0; }
int32_t FakePlaybackEngine::SetAudioDelay(int32_t ms) { record("SetAudioDelay " + std::to_string(ms)); return 0; }
int32_t FakePlaybackEngine::SetAudioOutput(int32_t kind)
{
    record("SetAudioOutput " + std::to_string(kind));
    if (kind != 0 && kind != 1)
        return -1;
    audioOutput = kind;
    return 0;
}
int32_t FakePlaybackEngine::SetSyncMode(int32_t flag) { record("SetSyncMode " + std::to_string(flag)); return 0; }
int32_t FakePlaybackEngine::SetTimeCodeOutput(int32_t mode) { record("SetTimeCodeOutput " + std::to_string(mode)); return 0; }
int32_t FakePlaybackEngine::SetShowSlate(int32_t flag) { record("SetShowSlate " + std::to_string(flag)); showSlate = flag; return 0; }
int32_t FakePlaybackEngine::SetSlateImage(int32_t w, int32_t h, const uint8_t*)
{
    record("SetSlateImage " + std::to_string(w) + "x" + std::to_string(h));
    ++slateUploads;
    // A real engine shows the slate frame at the file's start.
    currentTime = 0;
    return 1;
}
void FakePlaybackEngine::SetAnamorphic(int32_t flag) { record("SetAnamorphic " + std::to_string(flag)); }
int32_t FakePlaybackEngine::SetMaster(KLVPlaybackEngine* m, double offset)
{
    record(withTime(m ? "SetMaster" : "SetMaster none", offset));
    master = m;
    masterOffset = offset;
    return 0;
}
int32_t FakePlaybackEngine::SetOutputDevice(ssBaseOutput* device, int32_t mode)
{
    record(std::string(device ? "SetOutputDevice " : "SetOutputDevice none ") + std::to_string(mode));
    return 0;
}
void FakePlaybackEngine::SetOverlayImage(int32_t w, int32_t h, const uint8_t*, float x, float y, float ow, float oh)
{
    record("SetOverlayImage " + std::to_string(w) + "x" + std::to_string(h) + withTime("", x) + withTime("", y)
           + withTime("", ow) + withTime("", oh));
}
void FakePlaybackEngine::FadeOverlay(int32_t direction, float t) { record(withTime(("FadeOverlay " + std::to_string(direction)).c_str(), t)); }
void FakePlaybackEngine::GetOutputSize(int32_t* w, int32_t* h) const
{
    *w = 1920;
    *h = 1080;
}
int32_t FakePlaybackEngine::DrawPreview(int32_t x, int32_t y, int32_t w, int32_t h)
{
    record("DrawPreview " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(w) + " "
           + std::to_string(h));
    return 0;
}

} // namespace testsupport
