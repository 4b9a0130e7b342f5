#pragma once

#include <array>
#include <cstdint>
#include <span>

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
    // ... the implementation's own state (fixed arrays, transform plans).
    int bands_ = 0;
    std::array<float, kPlotPoints> combined_{};
};
