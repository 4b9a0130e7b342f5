#include "output/CZelOutputLevel.h"

#include <algorithm>
#include <cmath>

namespace output {

namespace {

// Whole percent of a slide's fraction, cut off; outside 0..1 is taken as the
// nearest end. A fraction read back from a line (57 % is 0.57) gives the same
// percent again, though 0.57 * 100 falls just short of 57 in binary.
unsigned Percent(double fraction) {
    constexpr double kRepresentationSlack = 1e-9;
    return static_cast<unsigned>(std::trunc(std::clamp(fraction, 0.0, 1.0) * 100 + kRepresentationSlack));
}

}  // namespace

bool CZelOutputLevel::OpenLines(const std::string& deviceName) {
    const bool master = masterLine_.Open(CZelMixerLine::kComponentTypeSpeakers, deviceName);
    const bool wave = waveLine_.Open(CZelMixerLine::kComponentTypeWaveOut, deviceName);
    // The volumes kept are the lines' own from now on: a balance set before
    // any volume works from them, not from nothing.
    if (deviceOpen_) {
        masterVolume_ = GetMasterVolume();
        waveVolume_ = GetWaveVolume();
    }
    return master && wave;
}

void CZelOutputLevel::SetMasterVolume(double volume) {
    if (!deviceOpen_) return;
    masterVolume_ = volume;
    masterLine_.SetVolume(Percent(volume));
}

void CZelOutputLevel::SetWaveVolume(double volume) {
    if (!deviceOpen_) return;
    waveVolume_ = volume;
    waveLine_.SetVolume(Percent(volume));
}

double CZelOutputLevel::GetMasterVolume() {
    return deviceOpen_ ? masterLine_.GetVolume() / 100.0 : 0.0;
}

double CZelOutputLevel::GetWaveVolume() {
    return deviceOpen_ ? waveLine_.GetVolume() / 100.0 : 0.0;
}

void CZelOutputLevel::SetMasterBalance(double balance) {
    if (!deviceOpen_) return;
    masterBalance_ = balance;
    SetBalance(masterLine_, masterVolume_, balance);
}

void CZelOutputLevel::SetWaveBalance(double balance) {
    if (!deviceOpen_) return;
    waveBalance_ = balance;
    SetBalance(waveLine_, waveVolume_, balance);
}

// The side the balance leans to keeps the volume; the other side is scaled
// down, to nothing at the end of the slide.
void CZelOutputLevel::SetBalance(CZelMixerLine& line, double volume, double balance) {
    const unsigned full = Percent(volume);
    if (balance < 0)
        line.SetStereoVolume(full, static_cast<unsigned>(std::trunc(full * (1 + balance))));
    else if (balance > 0)
        line.SetStereoVolume(static_cast<unsigned>(std::trunc(full * (1 - balance))), full);
    else
        line.SetStereoVolume(full, full);
}

}  // namespace output
