#pragma once

#include <array>
#include <cstdint>
#include <span>

struct fftwf_plan_s;

// Splits the audible range into 2 to 31 adjacent bands (ten octaves below a
// top frequency), designs a windowed-sinc FIR filter for each (a low pass,
// band passes, a high pass), computes each band's response in dB on 640
// logarithmically spaced frequencies and their sum for plotting, and filters
// blocks of mono samples into one output block per band, scaled by the band's
// gain. All storage is inline and fixed: nothing is allocated after
// construction. One thread only (the user-interface thread).
class CZelFilterBank {
public:
    static constexpr int kMaxBands = 31;
    static constexpr int kMaxTaps = 512;
    static constexpr int kBlockSamples = 2940;
    static constexpr int kPlotPoints = 640;
    static constexpr double kSampleRate = 44'100.0;

    // Allocates the transform buffers and makes the transform plans. FFTW's
    // planner is not thread-safe: build and destroy banks on the
    // user-interface thread only.
    CZelFilterBank();
    ~CZelFilterBank();
    CZelFilterBank(const CZelFilterBank&) = delete;
    CZelFilterBank& operator=(const CZelFilterBank&) = delete;

    // Lays out n bands (limited to 2..31), designs their filters and computes
    // their responses. Gains and the input history are kept; band outputs are
    // zeroed.
    void Design(int bands);
    void SetBandGain(int band, float gain);
    // Recomputes the band's scaled response from its response and gain.
    void ScaleBandResponse(int band);
    // Recomputes the combined response from every scaled band response.
    void ComputeCombinedResponse();
    // Filters one block (16-bit scale) through every band into BandOutput().
    void Process(const float* block);

    int NumberOfBands() const { return bands_; }
    // 0.0 for a band outside the layout.
    double CentreFrequency(int band) const;
    float Gain(int band) const;
    // The level of the band's last output block in dB: 20 log10 of its
    // standard deviation; 0.0 when that is 0.
    double BandLevel(int band) const;
    int TapCount(int band) const;

    void CopyPlotFrequencies(float* destination) const;
    void CopyScaledBandResponse(int band, float* destination) const;
    std::span<const float, kPlotPoints> CombinedResponse() const { return combined_; }
    std::span<const float, kPlotPoints> BandResponse(int band) const;
    std::span<const float, kBlockSamples> BandOutput(int band) const;
    // The designed coefficients of a band (its tap count of them).
    std::span<const double> BandTaps(int band) const;

private:
    // The input line: the last kHistory samples of the previous line, then
    // the new block. kHistory covers the longest filter, so each band's
    // output block joins the previous one without a gap or an overlap.
    static constexpr int kHistory = kMaxTaps - 1;
    static constexpr int kLineSamples = kHistory + kBlockSamples;
    // Blocks are filtered by fast convolution: one real transform of the
    // zero-padded input line, multiplied by each band's transformed taps.
    // Every output a band needs lies where the circular convolution equals
    // the linear one (the transform is longer than the line). Band outputs
    // are real, so two bands share one complex inverse transform: the first
    // comes out as its real part, the second as its imaginary part.
    static constexpr int kTransformSize = 4096;
    static constexpr int kPairs = (kMaxBands + 1) / 2;
    static_assert(kTransformSize >= kLineSamples);

    void LayOut(int bands);
    void ComputeBandResponse(int band);
    void TransformPair(int pair);
    void FilterPair(int pair);
    // A pair filters bands first and first - 1 (none when that is -1).
    int FirstOfPair(int pair) const { return bands_ - 1 - 2 * pair; }
    bool InLayout(int band) const { return band >= 0 && band < bands_; }
    static bool InStorage(int band) { return band >= 0 && band < kMaxBands; }

    template <typename T, int N>
    using Rows = std::array<std::array<T, N>, kMaxBands>;

    Rows<double, kMaxTaps> taps_{};
    // The single-precision copy is the one that filters.
    Rows<float, kMaxTaps> singleTaps_{};
    std::array<int, kMaxBands> tapCounts_{};
    Rows<float, kBlockSamples> outputs_{};
    std::array<float, kPlotPoints> combined_{};
    int bands_ = 0;
    std::array<double, kMaxBands> centres_{};
    Rows<float, kPlotPoints> responses_{};
    Rows<float, kPlotPoints> scaledResponses_{};
    std::array<float, kPlotPoints> plotFrequencies_{};
    // The plot frequencies in radians per sample, for the responses.
    std::array<double, kPlotPoints> plotOmegas_{};
    std::array<float, kMaxBands> gains_{};
    std::array<float, kLineSamples> line_{};

    // Transform state, allocated once at construction with FFTW's aligned
    // allocator. Complex arrays are interleaved (real, imaginary) floats of
    // kTransformSize values each.
    fftwf_plan_s* forward_ = nullptr;  // transformLine_ -> lineSpectrum_
    fftwf_plan_s* inverse_ = nullptr;  // pairSpectrum_ -> pairOutput_
    float* transformLine_ = nullptr;   // kTransformSize reals
    // The line's spectrum: the lower half from the transform, the upper half
    // its mirror image (complex conjugate).
    float* lineSpectrum_ = nullptr;
    // Per pair, H1 + i H2 of its bands' transformed taps, divided by
    // kTransformSize; kPairs rows.
    float* pairFilters_ = nullptr;
    float* pairSpectrum_ = nullptr;
    float* pairOutput_ = nullptr;
};
