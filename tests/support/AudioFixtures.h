#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Test audio made by the tests themselves: signals, our own WAV writer, and
// the ffmpeg command for compressed formats.
namespace fixtures {

// Interleaved samples whose value is (start + n * channels + c) wrapped to
// int16 for frame n, channel c: every sample differs from its neighbours, so a
// lost, repeated or shifted sample shows up in an exact comparison.
std::vector<int16_t> Ramp(int frames, int channels, int start = 0);

// The same sine on every channel; amplitude relative to full scale.
std::vector<int16_t> Sine(double hz, double seconds, int sampleRate, int channels, double amplitude = 0.5);

// Deterministic white noise (the same seed gives the same samples): a signal
// without periodicity, for finding where a stretch of audio lines up.
std::vector<int16_t> Noise(int frames, int channels, uint32_t seed, double amplitude = 0.3);

// 16-bit PCM RIFF/WAVE file. False when the file could not be written.
bool WriteWav(const std::string& path, const std::vector<int16_t>& interleaved, int channels, int sampleRate);
// 16-bit PCM WAVE_FORMAT_EXTENSIBLE file whose channels have the places in
// channelMask (the WAVE speaker bits: 0x1 front left, 0x2 front right, 0x4
// centre, 0x8 LFE, 0x10 back left, 0x20 back right, ...).
bool WriteWavWithMask(const std::string& path, const std::vector<int16_t>& interleaved, int channels,
                      int sampleRate, uint32_t channelMask);

// Runs `ffmpeg -nostdin -loglevel error -y -i inputWav <ffmpegArgs> output`
// (no shell). True when ffmpeg succeeded and the output exists.
bool Encode(const std::string& inputWav, const std::string& output,
            const std::vector<std::string>& ffmpegArgs);

// One Encode, its input and output named within a folder.
struct Encoding {
    std::string input;
    std::string output;
    std::vector<std::string> ffmpegArgs;
};
// Runs the encodings side by side (ffmpeg spends most of its time starting
// up). "" when all succeeded, else which output failed.
std::string EncodeAll(const std::string& folder, const std::vector<Encoding>& encodings);

// The strongest frequency in one channel, in Hz (windowed FFT with peak
// interpolation, accurate to well under 1 Hz for a clean tone); 0 for silence.
double DominantFrequency(const int16_t* interleaved, int frames, int channels, int channel, int sampleRate);

// Amplitude (relative to full scale) of the component at hz in one channel.
double ToneAmplitude(const int16_t* interleaved, int frames, int channels, int channel, int sampleRate,
                     double hz);

}  // namespace fixtures
