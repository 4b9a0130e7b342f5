#include "platform/sound/PortAudioBackend.h"

#include <alsa/asoundlib.h>
#include <pa_linux_alsa.h>
#include <portaudio.h>
#include <sched.h>

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "platform/sound/DenormalGuard.h"
#include "platform/sound/DeviceIdHash.h"

namespace platform::sound {

namespace {

// Every PortAudio call outside the audio callback that opens, closes or
// queries devices goes through this lock: PortAudio's initialization and its
// list of open streams are not thread-safe.
std::mutex& PaMutex() {
    static std::mutex mutex;
    return mutex;
}

void SilentAlsaErrorHandler(const char*, int, const char*, int, const char*, ...) {}

void SilentJackMessage(const char*) {}

// PortAudio's JACK host API connects to a JACK server when it initializes, and
// the JACK client library reports a missing server on stderr (five lines per
// Pa_Initialize) before PortAudio installs its own error function. When that
// library is loaded (PortAudio links it), quiet it the same way as ALSA; its
// functions are looked up so that nothing needs JACK's headers.
void SilenceJack() {
    using SetMessageFunction = void (*)(void (*)(const char*));
    for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
        if (void* symbol = dlsym(RTLD_DEFAULT, name)) {
            reinterpret_cast<SetMessageFunction>(symbol)(&SilentJackMessage);
        }
    }
}

int64_t NowNs() noexcept {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct ListedDevice {
    PaDeviceIndex index = paNoDevice;
    BackendDevice device;
};

// PortAudio's output devices with at least two channels, in its order. Caller
// holds PaMutex and PortAudio is initialized.
std::vector<ListedDevice> ListDevices() {
    std::vector<ListedDevice> listed;
    const PaDeviceIndex count = Pa_GetDeviceCount();
    if (count <= 0) return listed;
    std::vector<std::string> keys;  // host API + "\n" + name of each listed device
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (!info || info->maxOutputChannels < 2) continue;
        const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
        const std::string apiName = api && api->name ? api->name : "";
        const std::string name = info->name ? info->name : "";
        const std::string key = apiName + "\n" + name;
        const int occurrence = static_cast<int>(std::count(keys.begin(), keys.end(), key));
        keys.push_back(key);
        ListedDevice entry;
        entry.index = i;
        entry.device.description = name;
        entry.device.id = PortAudioBackend::MakeDeviceId(apiName, name, occurrence);
        entry.device.maxOutputChannels = info->maxOutputChannels;
        listed.push_back(std::move(entry));
    }
    return listed;
}

// The device a null id (the default output) or a listed id names; paNoDevice
// when there is none. Caller holds PaMutex.
PaDeviceIndex ResolveDevice(const DeviceId* id) {
    if (!id) return Pa_GetDefaultOutputDevice();
    for (const ListedDevice& entry : ListDevices()) {
        if (entry.device.id == *id) return entry.index;
    }
    return paNoDevice;
}

bool OutputParameters(PaDeviceIndex device, int channels, PaStreamParameters& params,
                      double latencySeconds = 0.0) {
    if (device == paNoDevice || channels < 1) return false;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (!info || channels > info->maxOutputChannels) return false;
    params = {};
    params.device = device;
    params.channelCount = channels;
    params.sampleFormat = paInt16;
    params.suggestedLatency = latencySeconds > 0 ? latencySeconds : info->defaultLowOutputLatency;
    params.hostApiSpecificStreamInfo = nullptr;
    return true;
}

// Caller holds PaMutex.
bool Supports(PaDeviceIndex device, int channels, double sampleRate) {
    PaStreamParameters params;
    if (!OutputParameters(device, channels, params) || !(sampleRate > 0)) return false;
    return Pa_IsFormatSupported(nullptr, &params, sampleRate) == paFormatIsSupported;
}

}  // namespace

// One Pa_Initialize / Pa_Terminate pair; PortAudio counts them.
class PortAudioLibrary {
public:
    PortAudioLibrary() {
        std::lock_guard lock(PaMutex());
        // ALSA reports every device it probes on stderr; keep it quiet.
        snd_lib_error_set_handler(&SilentAlsaErrorHandler);
        SilenceJack();
        initialized_ = Pa_Initialize() == paNoError;
    }
    ~PortAudioLibrary() {
        std::lock_guard lock(PaMutex());
        if (initialized_) Pa_Terminate();
    }
    PortAudioLibrary(const PortAudioLibrary&) = delete;
    PortAudioLibrary& operator=(const PortAudioLibrary&) = delete;

    bool Initialized() const { return initialized_; }

private:
    bool initialized_ = false;
};

// ---------------------------------------------------------------------------
// The stream's callbacks

struct PortAudioStream::Callbacks {
    // The audio thread: no lock, no allocation, no logging.
    static int Render(const void*, void* output, unsigned long frameCount, const PaStreamCallbackTimeInfo*,
                      PaStreamCallbackFlags flags, void* user) noexcept {
        auto* self = static_cast<PortAudioStream*>(user);
        self->lastCallbackNs_.store(NowNs(), std::memory_order_relaxed);
        if (!self->callbackThreadKnown_.load(std::memory_order_relaxed)) {
            // pthread_self reads the thread pointer: no system call here.
            self->callbackThread_ = pthread_self();
            self->callbackThreadKnown_.store(true, std::memory_order_release);
        }

        const uint64_t callbacks = self->callbacks_.load(std::memory_order_relaxed);
        if (callbacks == 0 || frameCount < self->minFrames_.load(std::memory_order_relaxed))
            self->minFrames_.store(frameCount, std::memory_order_relaxed);
        if (frameCount > self->maxFrames_.load(std::memory_order_relaxed))
            self->maxFrames_.store(frameCount, std::memory_order_relaxed);
        self->frames_.store(self->frames_.load(std::memory_order_relaxed) + frameCount,
                            std::memory_order_relaxed);
        if (flags & paOutputUnderflow)
            self->underflows_.store(self->underflows_.load(std::memory_order_relaxed) + 1,
                                    std::memory_order_relaxed);
        self->callbacks_.store(callbacks + 1, std::memory_order_release);

        auto* out = static_cast<int16_t*>(output);
        const int channels = self->channels_;
        if (self->timedOut_.load(std::memory_order_relaxed)) {
            // Given up on: stays idle.
            std::memset(out, 0, frameCount * static_cast<size_t>(channels) * sizeof(int16_t));
            return paContinue;
        }

        const DenormalGuard denormals;
        float* scratch = self->scratch_.data();
        unsigned long done = 0;
        while (done < frameCount) {
            const int n = static_cast<int>(std::min<unsigned long>(frameCount - done, self->scratchFrames_));
            self->target_.Render(scratch, n, channels);
            const size_t samples = static_cast<size_t>(n) * channels;
            for (size_t i = 0; i < samples; ++i) out[i] = FloatToInt16(scratch[i]);
            out += samples;
            done += static_cast<unsigned long>(n);
        }
        return paContinue;
    }

    // The stream ended: after our Stop, or by itself (a device error).
    static void Finished(void* user) noexcept {
        auto* self = static_cast<PortAudioStream*>(user);
        if (!self->stopping_.load(std::memory_order_acquire))
            self->finished_.store(true, std::memory_order_release);
    }
};

// ---------------------------------------------------------------------------
// PortAudioBackend

PortAudioBackend::PortAudioBackend() : library_(std::make_shared<PortAudioLibrary>()) {}

PortAudioBackend::~PortAudioBackend() = default;

std::string PortAudioBackend::Name() const {
    return "PortAudio";
}

bool PortAudioBackend::IsInitialized() const {
    return library_->Initialized();
}

DeviceId PortAudioBackend::MakeDeviceId(const std::string& hostApiName, const std::string& deviceName,
                                        int occurrence) {
    std::string key = hostApiName + "\n" + deviceName;
    if (occurrence > 0) key += "\n" + std::to_string(occurrence);
    // The second half: the same hash from another starting point.
    return DeviceIdOf(key, Fnv1a(kFnvOffsetBasis, "Orvo 2 sound device\n"));
}

std::vector<BackendDevice> PortAudioBackend::Devices() {
    std::vector<BackendDevice> devices;
    if (!library_->Initialized()) return devices;
    std::lock_guard lock(PaMutex());
    for (ListedDevice& entry : ListDevices()) devices.push_back(std::move(entry.device));
    return devices;
}

bool PortAudioBackend::IsFormatSupported(const DeviceId* id, int channels, int sampleRate) {
    if (!library_->Initialized()) return false;
    std::lock_guard lock(PaMutex());
    return Supports(ResolveDevice(id), channels, sampleRate);
}

int PortAudioBackend::FramesPerBufferFor(int latencyMs, int sampleRate) {
    const int64_t latencyFrames = int64_t{latencyMs} * sampleRate / 1000;
    int frames = kFramesPerBuffer;
    while (frames > 32 && 2 * int64_t{frames} > latencyFrames) frames /= 2;
    return frames;
}

std::unique_ptr<AudioStream> PortAudioBackend::OpenStream(const DeviceId* id, int channels,
                                                          RenderTarget& target,
                                                          const StreamOptions& options) {
    if (!library_->Initialized()) return nullptr;
    std::lock_guard lock(PaMutex());
    const PaDeviceIndex device = ResolveDevice(id);
    PaStreamParameters params;
    if (!OutputParameters(device, channels, params, options.latencyMs / 1000.0)) return nullptr;

    double rate = kPreferredSampleRate;
    if (!Supports(device, channels, rate)) {
        rate = std::round(Pa_GetDeviceInfo(device)->defaultSampleRate);
        if (!Supports(device, channels, rate)) return nullptr;
    }

    std::unique_ptr<PortAudioStream> stream(new PortAudioStream(library_, target, channels));
    PaStream* pa = nullptr;
    const int frames = FramesPerBufferFor(options.latencyMs, static_cast<int>(rate));
    const PaError error =
        Pa_OpenStream(&pa, nullptr, &params, rate, static_cast<unsigned long>(frames),
                      paClipOff | paDitherOff, &PortAudioStream::Callbacks::Render, stream.get());
    if (error != paNoError || !pa) return nullptr;
    stream->stream_ = pa;
    Pa_SetStreamFinishedCallback(pa, &PortAudioStream::Callbacks::Finished);
    const PaStreamInfo* info = Pa_GetStreamInfo(pa);
    stream->sampleRate_ =
        static_cast<int>(std::lround(info && info->sampleRate > 0 ? info->sampleRate : rate));
    stream->outputLatency_ = info ? info->outputLatency : 0.0;
    const PaHostApiInfo* api = Pa_GetHostApiInfo(Pa_GetDeviceInfo(device)->hostApi);
    stream->alsaHost_ = api && api->type == paALSA;
    return stream;
}

// ---------------------------------------------------------------------------
// PortAudioStream

PortAudioStream::PortAudioStream(std::shared_ptr<PortAudioLibrary> library, RenderTarget& target,
                                 int channels)
    : library_(std::move(library)), target_(target), channels_(channels) {
    scratchFrames_ = PortAudioBackend::kFramesPerBuffer;
    scratch_.assign(static_cast<size_t>(scratchFrames_) * channels_, 0.0f);
}

PortAudioStream::~PortAudioStream() {
    Stop();
    if (stream_) {
        std::lock_guard lock(PaMutex());
        Pa_CloseStream(stream_);  // aborts it should it still run
        stream_ = nullptr;
    }
}

bool PortAudioStream::Start() {
    std::lock_guard lock(control_);
    if (!stream_ || Failed()) return false;
    if (running_.load()) return true;
    stopping_.store(false, std::memory_order_release);
    lastCallbackNs_.store(NowNs());
    // Real-time scheduling where the system allows it: PortAudio asks for
    // SCHED_FIFO as it starts the callback thread and goes on without it
    // when refused (Realtime() tells which).
    if (alsaHost_) PaAlsa_EnableRealtimeScheduling(stream_, 1);
    if (Pa_StartStream(stream_) != paNoError) {
        error_.store(true);
        return false;
    }
    running_.store(true);
    return true;
}

void PortAudioStream::Stop() {
    std::lock_guard lock(control_);
    if (!stream_ || !running_.load()) return;
    // Whatever ends the stream from here on is no failure of its own.
    const bool failed = Failed();
    stopping_.store(true, std::memory_order_release);
    // A stream that failed may sit on a device that is gone: drop what is
    // queued instead of waiting for it to play.
    const PaError error = failed ? Pa_AbortStream(stream_) : Pa_StopStream(stream_);
    if (error != paNoError && error != paStreamIsStopped) error_.store(true);
    running_.store(false);
}

bool PortAudioStream::IsRunning() const {
    return running_.load() && !finished_.load();
}

int PortAudioStream::SampleRate() const {
    return sampleRate_;
}

int PortAudioStream::Channels() const {
    return channels_;
}

bool PortAudioStream::Failed() const {
    if (error_.load() || finished_.load() || timedOut_.load()) return true;
    if (running_.load() && NowNs() - lastCallbackNs_.load(std::memory_order_relaxed) > kCallbackTimeoutNs) {
        timedOut_.store(true);
        return true;
    }
    return false;
}

RealtimeScheduling PortAudioStream::Realtime() const {
    std::lock_guard lock(control_);
    if (realtime_ != RealtimeScheduling::Unknown) return realtime_;
    // While it runs and we have not stopped it, PortAudio has not joined the
    // callback thread, so the stored thread is still there to ask.
    if (!callbackThreadKnown_.load(std::memory_order_acquire) || !running_.load() || Failed())
        return RealtimeScheduling::Unknown;
    int policy = 0;
    sched_param param{};
    if (pthread_getschedparam(callbackThread_, &policy, &param) != 0) return RealtimeScheduling::Unknown;
    realtime_ = policy == SCHED_FIFO || policy == SCHED_RR ? RealtimeScheduling::Granted
                                                           : RealtimeScheduling::Refused;
    return realtime_;
}

PortAudioStream::CallbackStats PortAudioStream::Stats() const {
    CallbackStats stats;
    stats.callbacks = callbacks_.load(std::memory_order_acquire);
    stats.frames = frames_.load(std::memory_order_relaxed);
    stats.minFrames = minFrames_.load(std::memory_order_relaxed);
    stats.maxFrames = maxFrames_.load(std::memory_order_relaxed);
    stats.underflows = underflows_.load(std::memory_order_relaxed);
    return stats;
}

}  // namespace platform::sound
