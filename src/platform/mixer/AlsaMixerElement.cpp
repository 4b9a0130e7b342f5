#include "platform/mixer/AlsaMixerElement.h"

#include <alsa/asoundlib.h>

#include <mutex>

namespace platform::mixer {

namespace {

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// ALSA prints to stderr for every device it cannot open (no card, no sound
// server); a failed open is an ordinary answer here. Other modules may install
// the same no-op handler.
void SilenceAlsaErrors() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(IgnoreAlsaError); });
}

}  // namespace

AlsaMixerElement::~AlsaMixerElement() {
    Close();
}

bool AlsaMixerElement::Open(const std::string& controlDevice, const std::vector<std::string>& names) {
    Close();
    SilenceAlsaErrors();

    snd_mixer_t* mixer = nullptr;
    if (snd_mixer_open(&mixer, 0) < 0) return false;
    if (snd_mixer_attach(mixer, controlDevice.c_str()) < 0 ||
        snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 || snd_mixer_load(mixer) < 0) {
        snd_mixer_close(mixer);
        return false;
    }

    snd_mixer_selem_id_t* id = nullptr;
    if (snd_mixer_selem_id_malloc(&id) < 0) {
        snd_mixer_close(mixer);
        return false;
    }
    snd_mixer_elem_t* element = nullptr;
    for (const std::string& name : names) {
        snd_mixer_selem_id_set_name(id, name.c_str());
        snd_mixer_selem_id_set_index(id, 0);
        element = snd_mixer_find_selem(mixer, id);
        if (element && snd_mixer_selem_has_playback_volume(element)) {
            name_ = name;
            break;
        }
        element = nullptr;
    }
    snd_mixer_selem_id_free(id);
    if (!element || snd_mixer_selem_get_playback_volume_range(element, &minimum_, &maximum_) < 0) {
        snd_mixer_close(mixer);
        Close();
        return false;
    }

    if (snd_mixer_selem_is_playback_mono(element)) {
        channels_ = 1;
    } else {
        for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c)
            if (snd_mixer_selem_has_playback_channel(element, static_cast<snd_mixer_selem_channel_id_t>(c)))
                ++channels_;
    }
    mixer_ = mixer;
    element_ = element;
    snd_mixer_elem_set_callback_private(element, this);
    snd_mixer_elem_set_callback(element, &AlsaMixerElement::OnElementEvent);
    return true;
}

void AlsaMixerElement::Close() {
    if (mixer_) snd_mixer_close(mixer_);
    mixer_ = nullptr;
    element_ = nullptr;
    name_.clear();
    minimum_ = maximum_ = 0;
    channels_ = 0;
}

bool AlsaMixerElement::Read(int index, long& value) {
    if (!element_ || index < 0) return false;
    // The element keeps the values it last saw; pending change events refresh it.
    snd_mixer_handle_events(mixer_);
    const auto id = static_cast<snd_mixer_selem_channel_id_t>(index);
    if (!element_ || !snd_mixer_selem_has_playback_channel(element_, id)) return false;
    return snd_mixer_selem_get_playback_volume(element_, id, &value) >= 0;
}

int AlsaMixerElement::OnElementEvent(snd_mixer_elem_t* element, unsigned int mask) {
    // The card went away: ALSA frees the element after this call.
    if (mask == SND_CTL_EVENT_MASK_REMOVE)
        static_cast<AlsaMixerElement*>(snd_mixer_elem_get_callback_private(element))->element_ = nullptr;
    return 0;
}

bool AlsaMixerElement::WriteAll(long value) {
    return element_ && snd_mixer_selem_set_playback_volume_all(element_, value) >= 0;
}

bool AlsaMixerElement::Write(Channel channel, long value) {
    const auto id = static_cast<snd_mixer_selem_channel_id_t>(channel);
    if (!element_ || !snd_mixer_selem_has_playback_channel(element_, id)) return false;
    return snd_mixer_selem_set_playback_volume(element_, id, value) >= 0;
}

bool AlsaMixerElement::ControlDeviceOpens(const std::string& controlDevice) {
    SilenceAlsaErrors();
    snd_ctl_t* control = nullptr;
    if (snd_ctl_open(&control, controlDevice.c_str(), 0) < 0) return false;
    snd_ctl_close(control);
    return true;
}

}  // namespace platform::mixer
