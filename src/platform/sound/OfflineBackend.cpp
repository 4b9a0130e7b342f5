#include "platform/sound/OfflineBackend.h"

#include <algorithm>
#include <fstream>

#include "platform/sound/DenormalGuard.h"
#include "platform/sound/DeviceIdHash.h"

namespace platform::sound {
namespace {

// Periods the capture ring holds; the rendering thread drains it into the
// capture whenever it is half full, between render calls.
constexpr size_t kRingPeriods = 32;

void PutLe(std::ofstream& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

OfflineBackend::OfflineBackend(std::vector<Device> devices, int sampleRate, int periodFrames)
    : devices_(std::move(devices)), sampleRate_(sampleRate), periodFrames_(periodFrames) {}

OfflineBackend::~OfflineBackend() {
    clockRuns_.store(false);
    if (clock_.joinable()) clock_.join();
}

void OfflineBackend::SetPacing(double speed) {
    pacing_ = speed;
    if (speed >= 0 && !clockRuns_.exchange(true)) clock_ = std::thread([this] { RunClock(); });
}

void OfflineBackend::RunClock() {
    using Clock = std::chrono::steady_clock;
    auto due = Clock::now();
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(periodFrames_ / (sampleRate_ * std::max(pacing_, 1e-9))));
    while (clockRuns_.load()) {
        {
            std::lock_guard lock(runningMutex_);
            for (OfflineStream* stream : running_)
                if (!stream->Failed()) stream->RenderPeriod();
        }
        if (pacing_ > 0) {
            // A clock that fell behind (the machine was busy) goes on from now
            // rather than rendering the lost time in a burst, as a sound card
            // would: its listener hears a gap, not time running faster, and
            // each lost period is an underrun.
            due += period;
            const auto now = Clock::now();
            if (now - due > 8 * period) {
                const auto lost = static_cast<uint64_t>((now - due) / period);
                std::lock_guard lock(runningMutex_);
                for (OfflineStream* stream : running_)
                    if (!stream->Failed()) stream->underruns_.fetch_add(lost);
                due = now;
            }
            // Periods due within the next millisecond are rendered at once, so
            // that a fast clock does not wake the machine thousands of times a second.
            if (due > now + std::chrono::milliseconds(1)) std::this_thread::sleep_until(due);
        } else {
            std::this_thread::yield();
        }
    }
}

void OfflineBackend::StartRunning(OfflineStream* stream) {
    std::lock_guard lock(runningMutex_);
    running_.push_back(stream);
}

void OfflineBackend::StopRunning(OfflineStream* stream) {
    std::lock_guard lock(runningMutex_);
    running_.erase(std::remove(running_.begin(), running_.end(), stream), running_.end());
}

DeviceId OfflineBackend::IdOf(const std::string& description) {
    return DeviceIdOf("Offline\n" + description, 0x84222325cbf29ce4ull);
}

std::vector<BackendDevice> OfflineBackend::Devices() {
    std::lock_guard lock(mutex_);
    std::vector<BackendDevice> result;
    for (const Device& d : devices_) result.push_back({d.description, IdOf(d.description), d.channels});
    return result;
}

const OfflineBackend::Device* OfflineBackend::Find(const DeviceId* id) const {
    if (devices_.empty()) return nullptr;
    if (!id) return &devices_.front();  // the default device
    auto it = std::find_if(devices_.begin(), devices_.end(),
                           [&](const Device& d) { return IdOf(d.description) == *id; });
    return it == devices_.end() ? nullptr : &*it;
}

bool OfflineBackend::Present(const Device& device) const {
    return std::find(absent_.begin(), absent_.end(), device.description) == absent_.end();
}

int OfflineBackend::RateOf(const Device& device) const {
    const auto it = rates_.find(device.description);
    return it == rates_.end() ? sampleRate_ : it->second;
}

bool OfflineBackend::IsFormatSupported(const DeviceId* id, int channels, int sampleRate) {
    std::lock_guard lock(mutex_);
    const Device* device = Find(id);
    if (!device || !Present(*device)) return false;
    return sampleRate == RateOf(*device) && channels >= 1 && channels <= device->channels;
}

std::unique_ptr<AudioStream> OfflineBackend::OpenStream(const DeviceId* id, int channels,
                                                        RenderTarget& target, const StreamOptions& options) {
    std::lock_guard lock(mutex_);
    const Device* device = Find(id);
    if (!device || !Present(*device) || channels < 1 || channels > device->channels) return nullptr;
    auto stream = std::make_unique<OfflineStream>(*this, device->description, channels, RateOf(*device),
                                                  periodFrames_, pacing_ >= 0, target, options, realtime_);
    stream->SetCapture(captureByDefault_);
    open_.emplace_back(device->description, stream.get());
    return stream;
}

OfflineStream* OfflineBackend::StreamOf(const std::string& description) {
    std::lock_guard lock(mutex_);
    for (auto it = open_.rbegin(); it != open_.rend(); ++it)
        if (it->first == description) return it->second;
    return nullptr;
}

void OfflineBackend::SetDevicePresent(const std::string& description, bool present) {
    std::lock_guard lock(mutex_);
    absent_.erase(std::remove(absent_.begin(), absent_.end(), description), absent_.end());
    if (present) return;
    absent_.push_back(description);
    for (auto& [name, stream] : open_)
        if (name == description) stream->failed_.store(true);
}

void OfflineBackend::SetDeviceRate(const std::string& description, int sampleRate) {
    std::lock_guard lock(mutex_);
    rates_[description] = sampleRate;
}

void OfflineBackend::Forget(OfflineStream* stream) {
    std::lock_guard lock(mutex_);
    open_.erase(std::remove_if(open_.begin(), open_.end(), [&](const auto& e) { return e.second == stream; }),
                open_.end());
}

OfflineStream::OfflineStream(OfflineBackend& backend, std::string description, int channels, int sampleRate,
                             int periodFrames, bool paced, RenderTarget& target, const StreamOptions& options,
                             RealtimeScheduling realtime)
    : backend_(backend),
      description_(std::move(description)),
      channels_(channels),
      sampleRate_(sampleRate),
      periodFrames_(periodFrames),
      paced_(paced),
      latencyMs_(options.latencyMs),
      realtime_(realtime),
      target_(target),
      mix_(static_cast<size_t>(periodFrames) * channels),
      ring_(std::make_unique<int16_t[]>(kRingPeriods * mix_.size())),
      ringSize_(kRingPeriods * mix_.size()) {}

OfflineStream::~OfflineStream() {
    Stop();
    backend_.Forget(this);
}

bool OfflineStream::Start() {
    if (running_.exchange(true)) return true;
    if (paced_) backend_.StartRunning(this);
    return true;
}

void OfflineStream::Stop() {
    if (!running_.exchange(false)) return;
    if (paced_) backend_.StopRunning(this);
}

void OfflineStream::Step(int frames) {
    if (!running_.load() || failed_.load() || paced_) return;
    for (int done = 0; done < frames; done += periodFrames_) RenderPeriod();
}

void OfflineStream::RenderPeriod() {
    RenderIntoRing();
    DrainRingIfHalfFull();
}

void OfflineStream::RenderIntoRing() noexcept {
    const DenormalGuard denormals;
    const auto begin = std::chrono::steady_clock::now();
    target_.Render(mix_.data(), periodFrames_, channels_);
    const int64_t took =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - begin)
            .count();
    if (took > worstRenderNs_.load(std::memory_order_relaxed))
        worstRenderNs_.store(took, std::memory_order_relaxed);
    framesRendered_.fetch_add(periodFrames_);
    if (!capture_.load(std::memory_order_relaxed)) return;
    const size_t written = ringWritten_.load(std::memory_order_relaxed);
    // Never full: the thread that renders drains it at half.
    if (written + mix_.size() - ringRead_.load(std::memory_order_acquire) > ringSize_) return;
    for (size_t i = 0; i < mix_.size(); ++i) ring_[(written + i) % ringSize_] = FloatToInt16(mix_[i]);
    ringWritten_.store(written + mix_.size(), std::memory_order_release);
}

void OfflineStream::DrainRingIfHalfFull() {
    if (ringWritten_.load(std::memory_order_acquire) - ringRead_.load(std::memory_order_relaxed) <
        ringSize_ / 2)
        return;
    std::lock_guard lock(captureMutex_);
    DrainRing();
}

void OfflineStream::DrainRing() {
    const size_t read = ringRead_.load(std::memory_order_relaxed);
    const size_t written = ringWritten_.load(std::memory_order_acquire);
    for (size_t i = read; i < written; ++i) captured_.push_back(ring_[i % ringSize_]);
    ringRead_.store(written, std::memory_order_release);
}

void OfflineStream::Skip(int frames) {
    if (!running_.load() || failed_.load() || paced_) return;
    for (int done = 0; done < frames; done += periodFrames_) {
        underruns_.fetch_add(1);
        CaptureSilence(periodFrames_);
    }
}

void OfflineStream::CaptureSilence(int frames) {
    framesRendered_.fetch_add(frames);
    std::lock_guard lock(captureMutex_);
    DrainRing();  // what was rendered before comes first
    if (capture_.load(std::memory_order_relaxed))
        captured_.insert(captured_.end(), static_cast<size_t>(frames) * channels_, 0);
}

std::vector<int16_t> OfflineStream::TakeCapture() {
    std::lock_guard lock(captureMutex_);
    DrainRing();
    std::vector<int16_t> taken;
    taken.swap(captured_);
    saved_.insert(saved_.end(), taken.begin(), taken.end());
    return taken;
}

bool OfflineStream::SaveWav(const std::string& path) {
    TakeCapture();
    std::lock_guard lock(captureMutex_);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const auto dataBytes = static_cast<uint32_t>(saved_.size() * 2);
    out.write("RIFF", 4);
    PutLe(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    PutLe(out, 16, 4);
    PutLe(out, 1, 2);
    PutLe(out, static_cast<uint32_t>(channels_), 2);
    PutLe(out, static_cast<uint32_t>(sampleRate_), 4);
    PutLe(out, static_cast<uint32_t>(sampleRate_ * channels_ * 2), 4);
    PutLe(out, static_cast<uint32_t>(channels_ * 2), 2);
    PutLe(out, 16, 2);
    out.write("data", 4);
    PutLe(out, dataBytes, 4);
    out.write(reinterpret_cast<const char*>(saved_.data()), static_cast<std::streamsize>(dataBytes));
    return static_cast<bool>(out);
}

void OfflineStream::SimulateFailure() {
    failed_.store(true);
}

}  // namespace platform::sound
