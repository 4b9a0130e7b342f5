#include "platform/sound/fx/Reverb.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::sound::fx {

namespace {

// Lengths in samples at 44,100 Hz; at other rates they are scaled and moved
// to the next prime, so that no two lines share a period.
constexpr std::array<int, Reverb::kLines> kLineLengths{1327, 1553, 1777, 1993, 2203, 2417, 2671, 2887};
constexpr std::array<std::array<int, Reverb::kDiffusers>, 2> kDiffuserLengths{
    {{149, 211, 383, 563}, {163, 229, 401, 587}}};
constexpr float kDiffusion = 0.6f;
// Which lines each channel feeds and hears, and with which sign: the two
// output patterns are orthogonal, so left and right come out decorrelated.
constexpr std::array<float, Reverb::kLines> kInLeft{1, 0, -1, 0, 1, 0, -1, 0};
constexpr std::array<float, Reverb::kLines> kInRight{0, 1, 0, -1, 0, 1, 0, -1};
constexpr std::array<float, Reverb::kLines> kOutLeft{1, 1, -1, -1, 1, 1, -1, -1};
constexpr std::array<float, Reverb::kLines> kOutRight{1, -1, -1, 1, 1, -1, -1, 1};
constexpr float kInScale = 0.5f;
constexpr float kOutScale = 0.3f;
// The loop low-pass goes no lower than this, so that the darkest setting still
// keeps a body of reverb below it.
constexpr double kLowestCutoffHz = 1500.0;
constexpr double kGlideSeconds = 0.015;

bool IsPrime(int n) {
    if (n < 2) return false;
    for (int d = 2; d * d <= n; ++d)
        if (n % d == 0) return false;
    return true;
}

int NextPrime(int n) {
    while (!IsPrime(n)) ++n;
    return n;
}

int Scaled(int length, int sampleRate) {
    return NextPrime(std::max(2, static_cast<int>(std::lround(length * (sampleRate / 44'100.0)))));
}

float DecibelsToGain(float decibels) {
    return std::pow(10.0f, decibels / 20.0f);
}

// In place, scaled to keep the energy: the loop neither gains nor loses.
inline void Hadamard(std::array<float, Reverb::kLines>& v) noexcept {
    for (int span = 1; span < Reverb::kLines; span *= 2)
        for (int i = 0; i < Reverb::kLines; i += 2 * span)
            for (int j = i; j < i + span; ++j) {
                const float a = v[j];
                const float b = v[j + span];
                v[j] = a + b;
                v[j + span] = a - b;
            }
    constexpr float kNorm = 0.35355339f;  // 1 / sqrt(8)
    for (float& x : v) x *= kNorm;
}

}  // namespace

Reverb::Reverb() = default;

bool Reverb::Limit(ReverbParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.fInGain, -96.0f, 0.0f);
    limited |= LimitTo(p.fReverbMix, -96.0f, 0.0f);
    limited |= LimitTo(p.fReverbTime, 0.001f, 3000.0f);
    limited |= LimitTo(p.fHighFreqRTRatio, 0.001f, 0.999f);
    return limited;
}

void Reverb::Diffuse(Line& line, float* x, int count) noexcept {
    float* samples = line.samples.data();
    const auto length = static_cast<uint32_t>(line.samples.size());
    while (count > 0) {
        const int run = std::min(count, static_cast<int>(length - line.at));
        float* ring = samples + line.at;
        for (int k = 0; k < run; ++k) {
            const float delayed = ring[k];
            const float v = x[k] + kDiffusion * delayed;
            ring[k] = v;
            x[k] = delayed - kDiffusion * v;
        }
        line.at = (line.at + static_cast<uint32_t>(run)) % length;
        x += run;
        count -= run;
    }
}

void Reverb::Prepare(int sampleRate, int channels) {
    sampleRate_ = std::max(sampleRate, 1);
    channels_ = std::max(channels, 1);
    sides_ = std::min(channels_, 2);
    for (int i = 0; i < kLines; ++i) lines_[i].samples.assign(Scaled(kLineLengths[i], sampleRate_), 0.0f);
    block_ = kMaxBlock;
    for (int side = 0; side < 2; ++side)
        for (int k = 0; k < kDiffusers; ++k) {
            diffusers_[side][k].samples.assign(Scaled(kDiffuserLengths[side][k], sampleRate_), 0.0f);
            block_ = std::min(block_, static_cast<int>(diffusers_[side][k].samples.size()));
        }
    inGain_.SetTime(kGlideSeconds, sampleRate_);
    reverbGain_.SetTime(kGlideSeconds, sampleRate_);
    glide_ = static_cast<float>(1.0 - std::exp(-1.0 / (kGlideSeconds * sampleRate_)));
    // After eight time constants what is left of the way is too small to hear.
    glideLength_ = static_cast<int>(8 * kGlideSeconds * sampleRate_);
    SetTargets(CurrentParameters());
    Reset();
}

void Reverb::Reset() noexcept {
    const auto silence = [](Line& line) {
        std::fill(line.samples.begin(), line.samples.end(), 0.0f);
        line.at = 0;
    };
    for (Line& line : lines_) silence(line);
    for (auto& chain : diffusers_)
        for (Line& diffuser : chain) silence(diffuser);
    damped_.fill(0.0f);
    gain_ = gainTarget_;
    pole_ = poleTarget_;
    glideFrames_ = 0;
    inGain_.Snap();
    reverbGain_.Snap();
}

void Reverb::SetTargets(const ReverbParameters& p) noexcept {
    inGain_.SetTarget(DecibelsToGain(p.fInGain));
    reverbGain_.SetTarget(DecibelsToGain(p.fReverbMix));
    // The gain per sample as a power of ten: 60 dB lost in the reverb time at
    // low frequencies; the high ones lose more, by the ratio.
    const double decayTime = p.fReverbTime * 0.001 * sampleRate_;
    const double lowLoss = -3.0 / decayTime;
    const double highExtraLoss = lowLoss * (1.0 / p.fHighFreqRTRatio - 1.0);
    const double lowestPole = std::exp(-2.0 * std::numbers::pi * kLowestCutoffHz / sampleRate_);
    for (int i = 0; i < kLines; ++i) {
        const auto length = static_cast<double>(lines_[i].samples.size());
        gainTarget_[i] = static_cast<float>(std::pow(10.0, lowLoss * length));
        // The low-pass passes the low frequencies whole and scales the highest
        // by r = (1 - pole) / (1 + pole): the extra loss they need per pass.
        const double r = std::pow(10.0, highExtraLoss * length);
        poleTarget_[i] = static_cast<float>(std::min((1.0 - r) / (1.0 + r), lowestPole));
    }
    glideFrames_ = glideLength_;
}

void Reverb::Process(float* interleaved, int frames) noexcept {
    if (sides_ == 0) return;  // not prepared
    if (const ReverbParameters* p = TakeParameters()) SetTargets(*p);

    // Working copies, which the compiler can keep in registers: stores into
    // the sound might otherwise alias the members.
    PerLine damped = damped_;
    PerLine gain = gain_;
    PerLine pole = pole_;
    const PerLine gainTarget = gainTarget_;
    const PerLine poleTarget = poleTarget_;
    const float glide = glide_;
    int glideFrames = glideFrames_;
    Glide inGain = inGain_;
    Glide reverbGain = reverbGain_;
    std::array<float*, kLines> line{};
    std::array<uint32_t, kLines> at{};
    std::array<uint32_t, kLines> length{};
    for (int i = 0; i < kLines; ++i) {
        line[i] = lines_[i].samples.data();
        at[i] = lines_[i].at;
        length[i] = static_cast<uint32_t>(lines_[i].samples.size());
    }

    for (int done = 0; done < frames; done += block_) {
        const int count = std::min(block_, frames - done);
        float* frame = interleaved + static_cast<ptrdiff_t>(done) * channels_;
        // Each channel's input smeared by its diffusers, a stage at a time over
        // the block: no stage is shorter than the block, so each reads only what
        // was written before it.
        std::array<std::array<float, kMaxBlock>, 2> diffused;
        for (int k = 0; k < count; ++k) {
            const float in = inGain.Next();
            for (int side = 0; side < sides_; ++side) diffused[side][k] = frame[k * channels_ + side] * in;
        }
        for (int side = 0; side < sides_; ++side)
            for (Line& diffuser : diffusers_[side]) Diffuse(diffuser, diffused[side].data(), count);
        if (sides_ == 1) std::copy_n(diffused[0].begin(), count, diffused[1].begin());

        for (int k = 0; k < count; ++k, frame += channels_) {
            const float out = reverbGain.Next() * kOutScale;

            if (glideFrames > 0) {
                if (--glideFrames == 0) {
                    gain = gainTarget;
                    pole = poleTarget;
                } else {
                    for (int i = 0; i < kLines; ++i) {
                        gain[i] += glide * (gainTarget[i] - gain[i]);
                        pole[i] += glide * (poleTarget[i] - pole[i]);
                    }
                }
            }

            // The lines' outputs, each low-passed with its loss, heard and mixed
            // back into the lines with the new input.
            PerLine outs;
            float left = 0.0f;
            float right = 0.0f;
            for (int i = 0; i < kLines; ++i) {
                damped[i] = gain[i] * (1.0f - pole[i]) * line[i][at[i]] + pole[i] * damped[i];
                outs[i] = damped[i];
                left += kOutLeft[i] * outs[i];
                right += kOutRight[i] * outs[i];
            }
            Hadamard(outs);
            for (int i = 0; i < kLines; ++i) {
                line[i][at[i]] =
                    outs[i] + kInScale * (kInLeft[i] * diffused[0][k] + kInRight[i] * diffused[1][k]);
                if (++at[i] == length[i]) at[i] = 0;
            }

            frame[0] += out * left;
            if (sides_ == 2) frame[1] += out * right;
        }
    }

    damped_ = damped;
    gain_ = gain;
    pole_ = pole;
    glideFrames_ = glideFrames;
    inGain_ = inGain;
    reverbGain_ = reverbGain;
    for (int i = 0; i < kLines; ++i) lines_[i].at = at[i];
}

}  // namespace platform::sound::fx
