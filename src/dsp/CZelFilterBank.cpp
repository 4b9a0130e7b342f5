#include "dsp/CZelFilterBank.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <new>
#include <numbers>

#include "dsp/FirDesign.h"

namespace {

constexpr double kPi = std::numbers::pi;
// The dB range of 16-bit samples; the floor a band with no gain is drawn at.
constexpr float kFloorDb = 96.33f;

// Tap counts of the layouts that have their own, band 0 first; every other
// layout uses kDefaultTaps for each band.
constexpr int kDefaultTaps = 256;
constexpr std::array<int, 2> kTaps2{68, 46};
constexpr std::array<int, 3> kTaps3{256, 160, 45};
constexpr std::array<int, 5> kTaps5{282, 499, 262, 75, 49};
constexpr std::array<int, 6> kTaps6{182, 396, 162, 75, 49, 25};
constexpr std::array<int, 12> kTaps12{400, 500, 412, 307, 326, 238, 100, 100, 100, 100, 100, 100};
// 400, 500, then 490 down to 220 in steps of 10.
constexpr std::array<int, 30> kTaps30 = [] {
    std::array<int, 30> taps{400, 500};
    for (int b = 2; b < 30; ++b) taps[b] = 490 - 10 * (b - 2);
    return taps;
}();

int TapCountFor(int bands, int band) {
    switch (bands) {
        case 2:
            return kTaps2[band];
        case 3:
            return kTaps3[band];
        case 5:
            return kTaps5[band];
        case 6:
            return kTaps6[band];
        case 12:
            return kTaps12[band];
        case 30:
            return kTaps30[band];
        default:
            return kDefaultTaps;
    }
}

// FFTW's planner (plan creation and destruction) is not thread-safe; only
// executing a plan is. Every filter bank plans under this lock. The program
// builds its filter banks on the user-interface thread, and nothing else in
// it plans transforms.
std::mutex& PlannerLock() {
    static std::mutex lock;
    return lock;
}

template <typename T>
T* CheckedAllocation(T* memory) {
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

// Adds a band's half spectrum (bins 0 .. size / 2), times scale, to a full
// spectrum row, completing the upper half by conjugate symmetry; as the
// imaginary part (times i) when the band is the second of its pair.
void AddBandSpectrum(const float* half, float scale, bool imaginary, int size, float* row) {
    for (int k = 0; k <= size / 2; ++k) {
        const float re = half[2 * k] * scale;
        const float im = half[2 * k + 1] * scale;
        row[2 * k] += imaginary ? -im : re;
        row[2 * k + 1] += imaginary ? re : im;
        if (k == 0 || k == size / 2) continue;
        const int mirror = size - k;
        row[2 * mirror] += imaginary ? im : re;
        row[2 * mirror + 1] += imaginary ? re : -im;
    }
}

fftwf_complex* AsComplex(float* interleaved) {
    return reinterpret_cast<fftwf_complex*>(interleaved);
}

}  // namespace

CZelFilterBank::CZelFilterBank() {
    gains_.fill(1.0f);
    tapCounts_.fill(kDefaultTaps);

    // 640 frequencies, 2^(1/64) apart, from just under 20 Hz to just over
    // 20 kHz, each one step above the previous.
    const double step = std::pow(1024.0, 1.0 / kPlotPoints);
    const double first = 20'000.0 / 1024.0 * step;
    double omega = first / (kSampleRate / 2.0) * kPi;
    for (int i = 0; i < kPlotPoints; ++i) {
        omega *= step;
        plotOmegas_[i] = omega;
        plotFrequencies_[i] = static_cast<float>(omega / kPi * (kSampleRate / 2.0));
    }

    transformLine_ = CheckedAllocation(fftwf_alloc_real(kTransformSize));
    auto complexArray = [](int size) {
        return reinterpret_cast<float*>(CheckedAllocation(fftwf_alloc_complex(size)));
    };
    lineSpectrum_ = complexArray(kTransformSize);
    pairFilters_ = complexArray(kPairs * kTransformSize);
    pairSpectrum_ = complexArray(kTransformSize);
    pairOutput_ = complexArray(kTransformSize);
    std::fill_n(transformLine_, kTransformSize, 0.0f);
    std::fill_n(lineSpectrum_, 2 * kTransformSize, 0.0f);
    {
        // Estimated plans: measuring would take a varying, long time.
        const std::lock_guard<std::mutex> hold(PlannerLock());
        forward_ =
            fftwf_plan_dft_r2c_1d(kTransformSize, transformLine_, AsComplex(lineSpectrum_), FFTW_ESTIMATE);
        inverse_ = fftwf_plan_dft_1d(kTransformSize, AsComplex(pairSpectrum_), AsComplex(pairOutput_),
                                     FFTW_BACKWARD, FFTW_ESTIMATE);
    }
    if (forward_ == nullptr || inverse_ == nullptr) throw std::bad_alloc();
}

CZelFilterBank::~CZelFilterBank() {
    {
        const std::lock_guard<std::mutex> hold(PlannerLock());
        if (forward_ != nullptr) fftwf_destroy_plan(forward_);
        if (inverse_ != nullptr) fftwf_destroy_plan(inverse_);
    }
    fftwf_free(transformLine_);
    fftwf_free(lineSpectrum_);
    fftwf_free(pairFilters_);
    fftwf_free(pairSpectrum_);
    fftwf_free(pairOutput_);
}

void CZelFilterBank::Design(int bands) {
    bands_ = std::clamp(bands, 2, kMaxBands);
    for (int b = 0; b < bands_; ++b) {
        tapCounts_[b] = TapCountFor(bands_, b);
        outputs_[b].fill(0.0f);
    }
    LayOut(bands_);
    for (int b = 0; b < bands_; ++b) {
        std::copy_n(taps_[b].begin(), tapCounts_[b], singleTaps_[b].begin());
        ComputeBandResponse(b);
        ScaleBandResponse(b);
    }
    for (int pair = 0; pair < (bands_ + 1) / 2; ++pair) TransformPair(pair);
}

// n bands span ten octaves below the top frequency, each r = 2^(10/n) wide:
// a low pass, n - 2 band passes and a high pass, with centres r^(1/2) above
// their lower edges.
void CZelFilterBank::LayOut(int bands) {
    double top = 12'000.0;
    if (bands >= 10) top = 16'000.0;
    if (bands >= 31) top = 20'000.0;
    const double ratio = std::pow(2.0, 10.0 / bands);
    const double halfRatio = std::sqrt(ratio);
    double edge = std::pow(1.0 / ratio, bands - 1) * top * halfRatio;

    auto tapsOf = [this](int band) { return std::span<double>(taps_[band].data(), tapCounts_[band]); };
    dsp::DesignLowPass(edge / kSampleRate, tapsOf(0));
    centres_[0] = edge / halfRatio;
    for (int b = 1; b < bands - 1; ++b) {
        const double low = edge;
        edge *= ratio;
        dsp::DesignBandPass(low / kSampleRate, edge / kSampleRate, tapsOf(b));
        centres_[b] = halfRatio * low;
    }
    dsp::DesignHighPass(edge / kSampleRate, tapsOf(bands - 1));
    centres_[bands - 1] = halfRatio * edge;
}

// The band's response in dB on the plot frequencies, by direct summation
// over its taps (Horner's rule on e^(i w)).
void CZelFilterBank::ComputeBandResponse(int band) {
    const double* h = taps_[band].data();
    const int count = tapCounts_[band];
    for (int i = 0; i < kPlotPoints; ++i) {
        const double c = std::cos(plotOmegas_[i]);
        const double s = std::sin(plotOmegas_[i]);
        double re = 0.0;
        double im = 0.0;
        for (int k = count - 1; k >= 0; --k) {
            const double nextRe = re * c - im * s + h[k];
            im = re * s + im * c;
            re = nextRe;
        }
        responses_[band][i] = static_cast<float>(20.0 * std::log10(std::sqrt(re * re + im * im)));
    }
}

// The pair's single-precision taps, zero-padded to the transform size,
// transformed once per design; 1 / kTransformSize is folded in here so the
// inverse transforms need no scaling.
void CZelFilterBank::TransformPair(int pair) {
    float* row = pairFilters_ + 2 * pair * kTransformSize;
    std::fill_n(row, 2 * kTransformSize, 0.0f);
    const int first = FirstOfPair(pair);
    for (int band : {first, first - 1}) {
        if (band < 0) break;
        std::fill_n(transformLine_, kTransformSize, 0.0f);
        std::copy_n(singleTaps_[band].begin(), tapCounts_[band], transformLine_);
        fftwf_execute(forward_);
        AddBandSpectrum(lineSpectrum_, 1.0f / kTransformSize, band != first, kTransformSize, row);
    }
}

void CZelFilterBank::SetBandGain(int band, float gain) {
    if (InStorage(band)) gains_[band] = gain;
}

void CZelFilterBank::ScaleBandResponse(int band) {
    if (!InStorage(band)) return;
    const float gain = gains_[band];
    for (int i = 0; i < kPlotPoints; ++i)
        scaledResponses_[band][i] = (responses_[band][i] + kFloorDb) * gain - kFloorDb;
}

void CZelFilterBank::ComputeCombinedResponse() {
    for (int i = 0; i < kPlotPoints; ++i) {
        double sum = 0.0;
        for (int b = 0; b < bands_; ++b) sum += std::pow(10.0, scaledResponses_[b][i] / 20.0);
        combined_[i] = static_cast<float>(20.0 * std::log10(sum));
    }
}

void CZelFilterBank::Process(const float* block) {
    // The end of the previous line becomes the history; the block follows.
    std::copy(line_.end() - kHistory, line_.end(), line_.begin());
    std::copy_n(block, kBlockSamples, line_.begin() + kHistory);
    if (bands_ == 0) return;

    std::copy(line_.begin(), line_.end(), transformLine_);
    std::fill(transformLine_ + kLineSamples, transformLine_ + kTransformSize, 0.0f);
    fftwf_execute(forward_);
    for (int k = 1; k < kTransformSize / 2; ++k) {
        lineSpectrum_[2 * (kTransformSize - k)] = lineSpectrum_[2 * k];
        lineSpectrum_[2 * (kTransformSize - k) + 1] = -lineSpectrum_[2 * k + 1];
    }
    for (int pair = 0; pair < (bands_ + 1) / 2; ++pair) FilterPair(pair);
}

// X (H1 + i H2) = Y1 + i Y2: one inverse transform gives both bands, the
// first as its real part, the second as its imaginary part.
void CZelFilterBank::FilterPair(int pair) {
    const float* __restrict x = lineSpectrum_;
    const float* __restrict h = pairFilters_ + 2 * pair * kTransformSize;
    float* __restrict z = pairSpectrum_;
    for (int i = 0; i < 2 * kTransformSize; i += 2) {
        z[i] = x[i] * h[i] - x[i + 1] * h[i + 1];
        z[i + 1] = x[i] * h[i + 1] + x[i + 1] * h[i];
    }
    fftwf_execute(inverse_);

    // A band's block is the convolution from the first output for which the
    // whole filter lies on the line, multiplied by the band's gain.
    const int first = FirstOfPair(pair);
    for (int band : {first, first - 1}) {
        if (band < 0) break;
        const float* y = pairOutput_ + 2 * (tapCounts_[band] - 1) + (band == first ? 0 : 1);
        const float gain = gains_[band];
        float* out = outputs_[band].data();
        for (int j = 0; j < kBlockSamples; ++j) out[j] = y[2 * j] * gain;
    }
}

double CZelFilterBank::CentreFrequency(int band) const {
    return InLayout(band) ? centres_[band] : 0.0;
}

float CZelFilterBank::Gain(int band) const {
    return InLayout(band) ? gains_[band] : 0.0f;
}

double CZelFilterBank::BandLevel(int band) const {
    if (!InLayout(band)) return 0.0;
    const auto& block = outputs_[band];
    // Four running sums, so that each addition need not wait for the one before.
    constexpr int kLanes = 4;
    static_assert(kBlockSamples % kLanes == 0);
    std::array<double, kLanes> sums{};
    for (int i = 0; i < kBlockSamples; i += kLanes)
        for (int lane = 0; lane < kLanes; ++lane) sums[lane] += block[i + lane];
    const double mean = (sums[0] + sums[1] + sums[2] + sums[3]) / kBlockSamples;
    std::array<double, kLanes> squares{};
    for (int i = 0; i < kBlockSamples; i += kLanes)
        for (int lane = 0; lane < kLanes; ++lane) {
            const double d = block[i + lane] - mean;
            squares[lane] += d * d;
        }
    const double variance = (squares[0] + squares[1] + squares[2] + squares[3]) / kBlockSamples;
    const double deviation = std::sqrt(variance);
    return deviation > 0.0 ? 20.0 * std::log10(deviation) : 0.0;
}

int CZelFilterBank::TapCount(int band) const {
    return InStorage(band) ? tapCounts_[band] : 0;
}

void CZelFilterBank::CopyPlotFrequencies(float* destination) const {
    std::copy(plotFrequencies_.begin(), plotFrequencies_.end(), destination);
}

void CZelFilterBank::CopyScaledBandResponse(int band, float* destination) const {
    if (InStorage(band)) std::copy(scaledResponses_[band].begin(), scaledResponses_[band].end(), destination);
}

std::span<const float, CZelFilterBank::kPlotPoints> CZelFilterBank::BandResponse(int band) const {
    static constexpr std::array<float, kPlotPoints> kNone{};
    return InStorage(band) ? std::span<const float, kPlotPoints>(responses_[band]) : kNone;
}

std::span<const float, CZelFilterBank::kBlockSamples> CZelFilterBank::BandOutput(int band) const {
    static constexpr std::array<float, kBlockSamples> kNone{};
    return InStorage(band) ? std::span<const float, kBlockSamples>(outputs_[band]) : kNone;
}

std::span<const double> CZelFilterBank::BandTaps(int band) const {
    if (!InStorage(band)) return {};
    return {taps_[band].data(), static_cast<std::size_t>(tapCounts_[band])};
}
