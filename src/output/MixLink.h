#pragma once

namespace output {

// What playback asks of the mixer: the cross faders applied again to both
// decks (after a deck starts, when its buffers were made anew).
class MixLink {
public:
    virtual ~MixLink() = default;
    virtual void ApplyBothCrossFaders() = 0;
};

}  // namespace output
