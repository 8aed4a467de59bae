#include "platform/audio/PortAudioBackend.h"

#include <alsa/asoundlib.h>
#include <portaudio.h>

#include <cstdarg>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace platform {
namespace {

void silentAlsaHandler(const char*, int, const char*, int, const char*, ...) {}

// PortAudio probes every host API at initialisation; ALSA and JACK report each missing device
// on stderr. ALSA takes a handler; JACK only writes, so stderr is pointed at /dev/null while
// PortAudio probes. Only the probing is silenced, never the program's own messages afterwards.
std::mutex& initMutex()
{
    static std::mutex mutex;
    return mutex;
}

class QuietStderr {
public:
    QuietStderr()
    {
        fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0)
            dup2(null, STDERR_FILENO);
        if (null >= 0)
            close(null);
    }
    ~QuietStderr()
    {
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

int paCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
               PaStreamCallbackFlags, void* user)
{
    return static_cast<PortAudioBackend*>(user)->process(static_cast<float*>(output), frames);
}

void paFinished(void* user)
{
    static_cast<PortAudioBackend*>(user)->finished();
}

} // namespace

PortAudioBackend::PortAudioBackend()
{
    std::lock_guard lock(initMutex());
    snd_lib_error_set_handler(silentAlsaHandler);
    setenv("JACK_NO_START_SERVER", "1", 0);
    QuietStderr quiet;
    initialized_ = Pa_Initialize() == paNoError;
}

PortAudioBackend::~PortAudioBackend()
{
    stop();
    if (initialized_) {
        std::lock_guard lock(initMutex());
        QuietStderr quiet;
        Pa_Terminate();
    }
}

bool PortAudioBackend::start(int sampleRate, int channels, int framesPerBuffer, RenderFunction render,
                             FailureFunction failed)
{
    stop();
    if (!initialized_ || !render)
        return false;
    render_ = std::move(render);
    failed_ = std::move(failed);
    stopping_ = false;

    std::lock_guard lock(initMutex());
    QuietStderr quiet;
    PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    if (device == paNoDevice)
        return false;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (!info || info->maxOutputChannels < 1)
        return false;
    PaStreamParameters out{};
    out.device = device;
    out.channelCount = channels;
    out.sampleFormat = paFloat32;
    out.suggestedLatency = info->defaultLowOutputLatency;
    PaStream* stream = nullptr;
    if (Pa_OpenStream(&stream, nullptr, &out, sampleRate, unsigned(framesPerBuffer), paNoFlag,
                      paCallback, this) != paNoError)
        return false;
    Pa_SetStreamFinishedCallback(stream, paFinished);
    if (Pa_StartStream(stream) != paNoError) {
        Pa_CloseStream(stream);
        return false;
    }
    stream_ = stream;
    if (const PaStreamInfo* streamInfo = Pa_GetStreamInfo(stream))
        latency_ = streamInfo->outputLatency;
    return true;
}

void PortAudioBackend::stop()
{
    if (!stream_)
        return;
    stopping_ = true;
    auto* stream = static_cast<PaStream*>(stream_);
    Pa_StopStream(stream);
    Pa_CloseStream(stream);
    stream_ = nullptr;
}

int PortAudioBackend::process(float* out, unsigned long frames)
{
    render_(out, int(frames));
    return paContinue;
}

void PortAudioBackend::finished()
{
    // A stream that ends without being asked to has lost its device.
    if (!stopping_ && failed_)
        failed_();
}

} // namespace platform
