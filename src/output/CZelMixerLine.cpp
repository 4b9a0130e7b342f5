#include "output/CZelMixerLine.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/mixer/MixerDirectory.h"

namespace output {

using platform::mixer::AlsaMixerElement;
using platform::mixer::MixerDirectory;

bool CZelMixerLine::Open(uint32_t componentType, const std::string& deviceName) {
    std::vector<std::string> names;
    if (componentType == kComponentTypeSpeakers)
        names = {"Master"};
    else if (componentType == kComponentTypeWaveOut)
        names = {"PCM", "Master"};
    else
        return false;

    const auto controlDevice = MixerDirectory::ControlDeviceFor(deviceName);
    if (!controlDevice || !element_.Open(*controlDevice, names)) return false;
    minimum_ = element_.Minimum();
    maximum_ = element_.Maximum();
    control_ = element_.Name();
    return true;
}

unsigned CZelMixerLine::PercentOf(long value, long minimum, long maximum) {
    if (maximum <= minimum) return kUnreadablePercent;
    if (value <= minimum) return 0;
    return static_cast<unsigned>(std::trunc(
        static_cast<double>(value - minimum) * 100.0 / static_cast<double>(maximum - minimum) + 0.5));
}

long CZelMixerLine::ValueOf(unsigned percent, long minimum, long maximum) {
    const auto range = static_cast<uint64_t>(maximum - minimum);
    return minimum + static_cast<long>(range * percent / 100);
}

bool CZelMixerLine::ReadPercent(int channel, unsigned& percent) {
    long value = 0;
    if (!element_.Read(channel, value)) return false;
    percent = PercentOf(value, minimum_, maximum_);
    return true;
}

unsigned CZelMixerLine::GetVolume() {
    unsigned loudest = 0;
    bool read = false;
    for (int c = 0; c < element_.Channels(); ++c) {
        unsigned percent = 0;
        if (ReadPercent(c, percent)) {
            loudest = std::max(loudest, percent);
            read = true;
        }
    }
    return read ? loudest : kUnreadablePercent;
}

void CZelMixerLine::GetStereoVolume(unsigned& left, unsigned& right) {
    if (!ReadPercent(0, left) || !ReadPercent(1, right)) left = right = kUnreadablePercent;
}

bool CZelMixerLine::SetVolume(unsigned percent) {
    return element_.WriteAll(ValueOf(percent, minimum_, maximum_));
}

bool CZelMixerLine::SetStereoVolume(unsigned left, unsigned right) {
    return element_.Write(AlsaMixerElement::Channel::FrontLeft, ValueOf(left, minimum_, maximum_)) &&
           element_.Write(AlsaMixerElement::Channel::FrontRight, ValueOf(right, minimum_, maximum_));
}

}  // namespace output
