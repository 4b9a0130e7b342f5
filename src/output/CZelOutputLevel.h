#pragma once

#include <string>

#include "output/CZelMixerLine.h"

namespace output {

// The mixer side of one output: its master and wave lines, driven by the
// volume slides (0 to 1) and the balance slide (-1 to +1). While the output
// has no sound device the setters do nothing and the getters return 0.0.
// User-interface thread only.
class CZelOutputLevel {
public:
    // Opens both lines on the mixer named `deviceName`, whatever the device
    // flag says: the owner does this while it opens its device. With a device,
    // the volumes kept are then read from the lines. True when both lines opened.
    bool OpenLines(const std::string& deviceName);
    void SetDeviceOpen(bool open) { deviceOpen_ = open; }
    bool IsDeviceOpen() const { return deviceOpen_; }

    void SetMasterVolume(double volume);
    void SetWaveVolume(double volume);
    double GetMasterVolume();
    double GetWaveVolume();
    void SetMasterBalance(double balance);
    void SetWaveBalance(double balance);

    // The values last set.
    double MasterVolume() const { return masterVolume_; }
    double WaveVolume() const { return waveVolume_; }
    double MasterBalance() const { return masterBalance_; }
    double WaveBalance() const { return waveBalance_; }

private:
    static void SetBalance(CZelMixerLine& line, double volume, double balance);

    CZelMixerLine masterLine_;
    CZelMixerLine waveLine_;
    double masterVolume_ = 0.0;
    double waveVolume_ = 0.0;
    double masterBalance_ = 0.0;
    double waveBalance_ = 0.0;
    bool deviceOpen_ = false;
};

}  // namespace output
