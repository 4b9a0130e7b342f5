#include "engine/SampleBlock.h"

namespace engine {

void ReverseBlock(const SampleBlock& in, SampleBlock& out) noexcept {
    // Frame i of the output is frame (last - i) of the input; left and right
    // samples travel together, so the channels never swap.
    for (int i = 0; i < kBlockFrames; ++i) {
        const int from = (kBlockFrames - 1 - i) * kChannels;
        out.samples[i * kChannels] = in.samples[from];
        out.samples[i * kChannels + 1] = in.samples[from + 1];
    }
}

}  // namespace engine
