#pragma once

#include <cstdint>
#include <string>

#include "platform/mixer/AlsaMixerElement.h"

namespace output {

// One mixer line of an output's sound device: its volume control, in whole
// percent. Calls on a line that is not open fail without report.
// User-interface thread only.
class CZelMixerLine {
public:
    static constexpr uint32_t kComponentTypeSpeakers = 4;      // the master line: element "Master"
    static constexpr uint32_t kComponentTypeWaveOut = 0x1008;  // the wave line: "PCM", else "Master"
    static constexpr unsigned kUnreadablePercent = 100;

    // Opens the line of type `componentType` on the mixer whose product name is
    // `deviceName`. On failure the kept minimum, maximum and control stay as
    // they were; the element opened before may have been closed.
    bool Open(uint32_t componentType, const std::string& deviceName);

    // The line's level; 100 when it cannot be read. A one-channel read of a
    // stereo line gives the line as a whole: its loudest channel.
    unsigned GetVolume();
    void GetStereoVolume(unsigned& left, unsigned& right);
    // All channels alike.
    bool SetVolume(unsigned percent);
    bool SetStereoVolume(unsigned left, unsigned right);

    long Minimum() const { return minimum_; }
    long Maximum() const { return maximum_; }
    // The name of the volume element; empty before the first successful Open.
    const std::string& Control() const { return control_; }

    // Percent = trunc((value - minimum) * 100 / (maximum - minimum) + 0.5).
    static unsigned PercentOf(long value, long minimum, long maximum);
    // Value = minimum + (maximum - minimum) * percent / 100, in unsigned
    // integers with the division last.
    static long ValueOf(unsigned percent, long minimum, long maximum);

private:
    bool ReadPercent(int channel, unsigned& percent);

    platform::mixer::AlsaMixerElement element_;
    long minimum_ = 0;
    long maximum_ = 0;
    std::string control_;
};

}  // namespace output
