#include "platform/mixer/MixerDirectory.h"

#include <regex>

#include "platform/mixer/AlsaMixerElement.h"

namespace platform::mixer {

std::optional<std::string> MixerDirectory::ControlDeviceFor(const std::string& productName) {
    if (productName.empty()) return std::nullopt;

    // The sound layer names ALSA hardware devices "<card>: <device> (hw:N,M)".
    static const std::regex kHardwareSuffix(R"(\(hw:(\d+),\d+\)$)");
    std::smatch match;
    if (std::regex_search(productName, match, kHardwareSuffix)) return "hw:" + match[1].str();

    if (AlsaMixerElement::ControlDeviceOpens(productName)) return productName;
    return std::string("default");
}

}  // namespace platform::mixer
