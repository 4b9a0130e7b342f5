#pragma once

#include <cstdint>
#include <string>

namespace engine {

// The turntable way of changing tempo: the forward buffers play at another
// frequency, so tempo and pitch change together and nothing is resampled.

// The playback frequency for a tempo of `percent` on a source of `sampleRate` Hz.
uint32_t TempoFrequency(double percent, int sampleRate);

// The tempo as the percent indicator shows it: to a tenth of a percent,
// rounded away from zero by a hundredth, shown up to +/-50 ("0.0%", "5.0%",
// "-2.3%"); the frequency is not limited.
std::string TempoPercentText(double percent);

}  // namespace engine
