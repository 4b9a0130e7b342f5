#pragma once

#include <string>
#include <vector>

typedef struct _snd_mixer snd_mixer_t;
typedef struct _snd_mixer_elem snd_mixer_elem_t;

namespace platform::mixer {

// One playback volume element of an ALSA simple mixer, opened on a control
// device ("hw:0", "default", "pulse" or a name from the ALSA configuration).
// Not thread-safe; the user-interface thread uses it.
class AlsaMixerElement {
public:
    enum class Channel { FrontLeft = 0, FrontRight = 1 };

    AlsaMixerElement() = default;
    ~AlsaMixerElement();
    AlsaMixerElement(const AlsaMixerElement&) = delete;
    AlsaMixerElement& operator=(const AlsaMixerElement&) = delete;

    // Opens `controlDevice` and takes the first element of `names` that exists
    // and has a playback volume. Any element open before is closed first, even
    // when this fails.
    bool Open(const std::string& controlDevice, const std::vector<std::string>& names);
    void Close();
    bool IsOpen() const { return element_ != nullptr; }

    // The element found; empty and zero while closed.
    const std::string& Name() const { return name_; }
    long Minimum() const { return minimum_; }
    long Maximum() const { return maximum_; }
    // 1 for a mono element.
    int Channels() const { return channels_; }

    // The value of channel `index` (0 = front left, or mono), with changes made
    // elsewhere (another program, the sound server) taken in first.
    bool Read(int index, long& value);
    bool WriteAll(long value);
    // False when the element has no such channel.
    bool Write(Channel channel, long value);

    // Whether an ALSA control device of this name can be opened.
    static bool ControlDeviceOpens(const std::string& controlDevice);

private:
    static int OnElementEvent(snd_mixer_elem_t* element, unsigned int mask);

    snd_mixer_t* mixer_ = nullptr;
    snd_mixer_elem_t* element_ = nullptr;
    std::string name_;
    long minimum_ = 0;
    long maximum_ = 0;
    int channels_ = 0;
};

}  // namespace platform::mixer
