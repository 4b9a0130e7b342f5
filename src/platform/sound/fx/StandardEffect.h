#pragma once

#include <cmath>

#include "platform/sound/SoundEffect.h"
#include "platform/sound/SoundTypes.h"
#include "platform/sound/fx/ParameterMailbox.h"

namespace platform::sound::fx {

// Limits a value to a documented range; true when it had to (NaN becomes the
// minimum).
inline bool LimitTo(float& value, float minimum, float maximum) noexcept {
    if (std::isnan(value) || value < minimum) {
        value = minimum;
        return true;
    }
    if (value > maximum) {
        value = maximum;
        return true;
    }
    return false;
}
template <typename Integer>
bool LimitTo(Integer& value, Integer minimum, Integer maximum) noexcept {
    if (value < minimum) {
        value = minimum;
        return true;
    }
    if (value > maximum) {
        value = maximum;
        return true;
    }
    return false;
}

// An effect of the standard set: a parameter structure with documented
// defaults and ranges, read and written whole. Values outside a range are
// limited to it, and SetAllParameters then answers kFalse. The parameters
// reach the audio thread through a mailbox; Process takes them at the start
// of a block (TakeParameters) and smooths what would click.
template <typename Parameters>
class StandardEffect : public SoundEffect {
public:
    using ParametersType = Parameters;

    // User-interface thread.
    HResult GetAllParameters(Parameters* parameters) const {
        if (!parameters) return kInvalidParam;
        *parameters = parameters_;
        return kOk;
    }
    HResult SetAllParameters(const Parameters& parameters) {
        Parameters limited = parameters;
        const bool changed = Limit(limited);
        parameters_ = limited;
        mailbox_.Publish(limited);
        return changed ? kFalse : kOk;
    }

protected:
    StandardEffect() : mailbox_(Parameters{}) {}

    // Brings every field into its range; true when any had to change.
    virtual bool Limit(Parameters& parameters) const noexcept = 0;

    // Audio thread: the newest parameters, if they changed since the last call.
    const Parameters* TakeParameters() noexcept { return mailbox_.Take(); }
    // User-interface thread (Prepare, Reset): the parameters as last set.
    const Parameters& CurrentParameters() const noexcept { return parameters_; }

private:
    Parameters parameters_{};
    ParameterMailbox<Parameters> mailbox_;
};

}  // namespace platform::sound::fx
