#include "support/AudioFixtures.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <complex>
#include <fstream>
#include <future>
#include <numbers>

extern char** environ;

namespace fixtures {
namespace {

constexpr double kFullScale = 32768.0;
// The analysis window: long enough for sub-hertz accuracy after interpolation,
// short enough to stay fast on a few seconds of audio.
constexpr int kMaxAnalysisFrames = 16384;
// Below this amplitude a channel counts as silent.
constexpr double kSilence = 1e-4;

void PutLe(std::ofstream& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// channelMask 0: a plain PCM format chunk; else WAVE_FORMAT_EXTENSIBLE with it.
bool WriteRiff(const std::string& path, const void* data, uint32_t dataBytes, int channels, int sampleRate,
               int bitsPerSample, uint32_t channelMask = 0) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const auto blockAlign = static_cast<uint32_t>(channels * bitsPerSample / 8);
    const uint32_t formatBytes = channelMask ? 40 : 16;
    out.write("RIFF", 4);
    PutLe(out, 20 + formatBytes + dataBytes + (dataBytes & 1), 4);
    out.write("WAVEfmt ", 8);
    PutLe(out, formatBytes, 4);
    PutLe(out, channelMask ? 0xFFFE : 1, 2);  // extensible, or integer PCM
    PutLe(out, static_cast<uint32_t>(channels), 2);
    PutLe(out, static_cast<uint32_t>(sampleRate), 4);
    PutLe(out, static_cast<uint32_t>(sampleRate) * blockAlign, 4);
    PutLe(out, blockAlign, 2);
    PutLe(out, static_cast<uint32_t>(bitsPerSample), 2);
    if (channelMask) {
        PutLe(out, 22, 2);                                    // extension size
        PutLe(out, static_cast<uint32_t>(bitsPerSample), 2);  // valid bits
        PutLe(out, channelMask, 4);
        // The integer PCM sub-format GUID.
        static const unsigned char kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                   0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        out.write(reinterpret_cast<const char*>(kPcmGuid), sizeof kPcmGuid);
    }
    out.write("data", 4);
    PutLe(out, dataBytes, 4);
    out.write(static_cast<const char*>(data), dataBytes);
    if (dataBytes & 1) out.put('\0');  // chunks are padded to even length
    return static_cast<bool>(out);
}

// The middle stretch of one channel, at most kMaxAnalysisFrames long (a power
// of two), under a Hann window. Returns the window's sum for normalisation.
double WindowedChannel(const int16_t* interleaved, int frames, int channels, int channel,
                       std::vector<double>& out) {
    int length = 1;
    while (length * 2 <= std::min(frames, kMaxAnalysisFrames)) length *= 2;
    const int first = (frames - length) / 2;
    out.resize(static_cast<size_t>(length));
    double windowSum = 0;
    for (int i = 0; i < length; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / length);
        windowSum += w;
        out[static_cast<size_t>(i)] =
            w * interleaved[static_cast<size_t>(first + i) * channels + channel] / kFullScale;
    }
    return windowSum;
}

void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2 * std::numbers::pi / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

}  // namespace

std::vector<int16_t> Ramp(int frames, int channels, int start) {
    std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(
            static_cast<uint16_t>(static_cast<int64_t>(start) + static_cast<int64_t>(i)));
    }
    return samples;
}

std::vector<int16_t> Sine(double hz, double seconds, int sampleRate, int channels, double amplitude) {
    const auto frames = static_cast<size_t>(std::lround(seconds * sampleRate));
    std::vector<int16_t> samples(frames * channels);
    for (size_t n = 0; n < frames; ++n) {
        const double value = amplitude * 32767.0 * std::sin(2 * std::numbers::pi * hz * n / sampleRate);
        for (int c = 0; c < channels; ++c)
            samples[n * channels + c] = static_cast<int16_t>(std::lround(value));
    }
    return samples;
}

std::vector<int16_t> Noise(int frames, int channels, uint32_t seed, double amplitude) {
    std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
    uint32_t state = seed ? seed : 1;
    for (auto& sample : samples) {
        // xorshift32
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const double unit = static_cast<double>(state) / 4294967295.0 * 2.0 - 1.0;
        sample = static_cast<int16_t>(std::lround(unit * amplitude * 32767.0));
    }
    return samples;
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& interleaved, int channels,
              int sampleRate) {
    // Little-endian host: the samples are already in RIFF byte order.
    return WriteRiff(path, interleaved.data(), static_cast<uint32_t>(interleaved.size() * sizeof(int16_t)),
                     channels, sampleRate, 16);
}

bool WriteWavWithMask(const std::string& path, const std::vector<int16_t>& interleaved, int channels,
                      int sampleRate, uint32_t channelMask) {
    return WriteRiff(path, interleaved.data(), static_cast<uint32_t>(interleaved.size() * sizeof(int16_t)),
                     channels, sampleRate, 16, channelMask);
}

bool WriteWav8(const std::string& path, const std::vector<uint8_t>& interleaved, int channels,
               int sampleRate) {
    return WriteRiff(path, interleaved.data(), static_cast<uint32_t>(interleaved.size()), channels,
                     sampleRate, 8);
}

bool Encode(const std::string& inputWav, const std::string& output,
            const std::vector<std::string>& ffmpegArgs) {
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", inputWav};
    args.insert(args.end(), ffmpegArgs.begin(), ffmpegArgs.end());
    args.push_back(output);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    struct stat info {};
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && stat(output.c_str(), &info) == 0 &&
           info.st_size > 0;
}

std::string EncodeAll(const std::string& folder, const std::vector<Encoding>& encodings) {
    std::vector<std::future<bool>> running;
    for (const Encoding& e : encodings)
        running.push_back(std::async(std::launch::async, Encode, folder + "/" + e.input,
                                     folder + "/" + e.output, e.ffmpegArgs));
    std::string failed;
    for (size_t i = 0; i < running.size(); ++i)
        if (!running[i].get() && failed.empty()) failed = "ffmpeg failed to make " + encodings[i].output;
    return failed;
}

double DominantFrequency(const int16_t* interleaved, int frames, int channels, int channel, int sampleRate) {
    std::vector<double> windowed;
    const double windowSum = WindowedChannel(interleaved, frames, channels, channel, windowed);
    const size_t n = windowed.size();
    if (n < 8) return 0;
    std::vector<std::complex<double>> spectrum(windowed.begin(), windowed.end());
    Fft(spectrum);
    std::vector<double> magnitude(n / 2);
    for (size_t k = 0; k < n / 2; ++k) magnitude[k] = std::abs(spectrum[k]);
    // Bins 0 and 1 hold DC and its window leakage.
    const size_t peak =
        static_cast<size_t>(std::max_element(magnitude.begin() + 2, magnitude.end() - 1) - magnitude.begin());
    if (2 * magnitude[peak] / windowSum < kSilence) return 0;
    // A parabola through the log magnitudes of the peak and its neighbours
    // finds the peak between bins.
    const double a = std::log(magnitude[peak - 1] + 1e-300);
    const double b = std::log(magnitude[peak] + 1e-300);
    const double c = std::log(magnitude[peak + 1] + 1e-300);
    const double denominator = a - 2 * b + c;
    const double offset = denominator != 0 ? 0.5 * (a - c) / denominator : 0;
    return (static_cast<double>(peak) + offset) * sampleRate / static_cast<double>(n);
}

double ToneAmplitude(const int16_t* interleaved, int frames, int channels, int channel, int sampleRate,
                     double hz) {
    std::vector<double> windowed;
    const double windowSum = WindowedChannel(interleaved, frames, channels, channel, windowed);
    std::complex<double> sum = 0;
    const std::complex<double> step = std::polar(1.0, -2 * std::numbers::pi * hz / sampleRate);
    std::complex<double> w = 1;
    for (double x : windowed) {
        sum += x * w;
        w *= step;
    }
    return windowSum > 0 ? 2 * std::abs(sum) / windowSum : 0;
}

}  // namespace fixtures
