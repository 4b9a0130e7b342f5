#include "dsp/CZelFilterBank.h"

CZelFilterBank::CZelFilterBank() = default;
CZelFilterBank::~CZelFilterBank() = default;
void CZelFilterBank::Design(int bands) { bands_ = bands < 2 ? 2 : bands > kMaxBands ? kMaxBands : bands; }
void CZelFilterBank::SetBandGain(int, float) {}
void CZelFilterBank::ScaleBandResponse(int) {}
void CZelFilterBank::ComputeCombinedResponse() {}
void CZelFilterBank::Process(const float*) {}
double CZelFilterBank::CentreFrequency(int) const { return 0.0; }
float CZelFilterBank::Gain(int) const { return 1.0f; }
double CZelFilterBank::BandLevel(int) const { return 0.0; }
int CZelFilterBank::TapCount(int) const { return 256; }
void CZelFilterBank::CopyPlotFrequencies(float*) const {}
void CZelFilterBank::CopyScaledBandResponse(int, float*) const {}
std::span<const float, CZelFilterBank::kPlotPoints> CZelFilterBank::BandResponse(int) const { return combined_; }
std::span<const float, CZelFilterBank::kBlockSamples> CZelFilterBank::BandOutput(int) const {
    static const std::array<float, kBlockSamples> none{};
    return none;
}
std::span<const double> CZelFilterBank::BandTaps(int) const { return {}; }
