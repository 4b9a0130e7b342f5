#include "support/AudioFixtures.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <future>
#include <initializer_list>
#include <numbers>
#include <numeric>
#include <utility>

extern char** environ;

namespace fixtures {
namespace {

using Complex = std::complex<double>;
using std::numbers::pi;

// Long enough for sub-hertz accuracy after interpolation, short enough to stay
// fast on a few seconds of audio.
constexpr int kMaxAnalysisFrames = 16384;

// The middle stretch of one channel, a power of two at most kMaxAnalysisFrames
// long, under a Hann window; and the window's sum, for normalisation.
std::pair<std::vector<Complex>, double> Windowed(const int16_t* interleaved, int frames, int channels,
                                                 int channel) {
    size_t length = 1;
    while (length * 2 <= static_cast<size_t>(std::min(frames, kMaxAnalysisFrames))) length *= 2;
    const size_t first = (frames - length) / 2;
    std::vector<Complex> out(length);
    double sum = 0;
    for (size_t i = 0; i < length; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * pi * i / length);
        sum += w;
        out[i] = w * interleaved[(first + i) * channels + channel] / 32768.0;
    }
    return {out, sum};
}

// Radix 2, in place; the size is a power of two.
void Fft(std::vector<Complex>& a) {
    const size_t half = a.size() / 2;
    if (half == 0) return;
    std::vector<Complex> even(half), odd(half);
    for (size_t i = 0; i < half; ++i) {
        even[i] = a[2 * i];
        odd[i] = a[2 * i + 1];
    }
    Fft(even);
    Fft(odd);
    for (size_t k = 0; k < half; ++k) {
        const Complex twiddled = std::polar(1.0, -pi * k / half) * odd[k];
        a[k] = even[k] + twiddled;
        a[k + half] = even[k] - twiddled;
    }
}

}  // namespace

std::vector<int16_t> Ramp(int frames, int channels, int start) {
    std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
    std::iota(samples.begin(), samples.end(), static_cast<int16_t>(start));  // wraps around
    return samples;
}

std::vector<int16_t> Sine(double hz, double seconds, int sampleRate, int channels, double amplitude) {
    std::vector<int16_t> samples(static_cast<size_t>(std::lround(seconds * sampleRate)) * channels);
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i / channels) / sampleRate;
        samples[i] = static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::sin(2 * pi * hz * t)));
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
        sample = static_cast<int16_t>(std::lround((state / 4294967295.0 * 2.0 - 1.0) * amplitude * 32767.0));
    }
    return samples;
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& interleaved, int channels,
              int sampleRate) {
    return WriteWavWithMask(path, interleaved, channels, sampleRate, 0);
}

bool WriteWavWithMask(const std::string& path, const std::vector<int16_t>& interleaved, int channels,
                      int sampleRate, uint32_t channelMask) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    // Little-endian fields of the given byte counts.
    const auto put = [&](std::initializer_list<std::pair<uint32_t, int>> fields) {
        for (const auto& [value, bytes] : fields)
            for (int i = 0; i < bytes; ++i) out.put(static_cast<char>(value >> (8 * i)));
    };
    const auto dataBytes = static_cast<uint32_t>(interleaved.size() * 2);
    const uint32_t formatBytes = channelMask ? 40 : 16;
    const uint32_t blockAlign = 2 * channels;
    out << "RIFF";
    put({{20 + formatBytes + dataBytes, 4}});
    // A plain PCM format chunk, or with a mask a WAVE_FORMAT_EXTENSIBLE one.
    out << "WAVEfmt ";
    put({{formatBytes, 4}, {channelMask ? 0xFFFEu : 1u, 2}, {channels, 2}, {sampleRate, 4}});
    put({{sampleRate * blockAlign, 4}, {blockAlign, 2}, {16, 2}});
    // The extension's size, the valid bits, the mask and the integer PCM sub-format GUID.
    if (channelMask)
        put({{22, 2}, {16, 2}, {channelMask, 4}, {1, 4}, {0x00100000, 4}, {0xAA000080, 4}, {0x719B3800, 4}});
    out << "data";
    put({{dataBytes, 4}});
    // Little-endian host: the samples are already in RIFF byte order.
    out.write(reinterpret_cast<const char*>(interleaved.data()), dataBytes);
    return static_cast<bool>(out);
}

bool Encode(const std::string& inputWav, const std::string& output,
            const std::vector<std::string>& ffmpegArgs) {
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", inputWav};
    args.insert(args.end(), ffmpegArgs.begin(), ffmpegArgs.end());
    args.push_back(output);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = 0;
    if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) return false;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    std::error_code error;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && std::filesystem::file_size(output, error) > 0 &&
           !error;
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
    auto [spectrum, windowSum] = Windowed(interleaved, frames, channels, channel);
    const size_t n = spectrum.size();
    if (n < 8) return 0;
    Fft(spectrum);
    const auto magnitude = [&](size_t k) { return std::abs(spectrum[k]); };
    // Bins 0 and 1 hold DC and its window leakage.
    size_t peak = 2;
    for (size_t k = 3; k < n / 2 - 1; ++k)
        if (magnitude(k) > magnitude(peak)) peak = k;
    if (2 * magnitude(peak) / windowSum < 1e-4) return 0;  // silence
    // A parabola through the log magnitudes of the peak and its neighbours
    // finds the peak between bins.
    const auto level = [&](size_t k) { return std::log(magnitude(k) + 1e-300); };
    const double denominator = level(peak - 1) - 2 * level(peak) + level(peak + 1);
    const double offset = denominator != 0 ? 0.5 * (level(peak - 1) - level(peak + 1)) / denominator : 0;
    return (static_cast<double>(peak) + offset) * sampleRate / static_cast<double>(n);
}

double ToneAmplitude(const int16_t* interleaved, int frames, int channels, int channel, int sampleRate,
                     double hz) {
    const auto [windowed, windowSum] = Windowed(interleaved, frames, channels, channel);
    Complex sum = 0;
    for (size_t i = 0; i < windowed.size(); ++i)
        sum += windowed[i] * std::polar(1.0, -2 * pi * hz * i / sampleRate);
    return windowSum > 0 ? 2 * std::abs(sum) / windowSum : 0;
}

}  // namespace fixtures
