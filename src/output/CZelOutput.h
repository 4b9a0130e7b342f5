#pragma once

#include <QString>

#include <memory>
#include <optional>

#include "output/CZelOutputDevice.h"
#include "output/CZelOutputLevel.h"

namespace dsp {
class DeckShaping;
}

namespace output {

// One output path, main or headphones: the device it is bound to (none while
// closed), the device's name and the mixer lines of its sound card.
// User-interface thread only.
class CZelOutput {
public:
    // The devices it opens carry the decks' equalizers and effects from `shaping`, if given.
    explicit CZelOutput(platform::sound::SoundSystem& system, const dsp::DeckShaping* shaping = nullptr);
    ~CZelOutput();

    // Binds the output to a device. The label says whether it is a whole
    // device or the front or rear half of a split one. Without an identifier
    // or a label nothing changes.
    void Open(const std::optional<platform::sound::DeviceId>& id, const QString& label);
    void Close();
    bool IsOpen() const { return device_ != nullptr; }
    // The device object, if open; it may lack a working device (see HasDirectSound).
    CZelOutputDevice* Device() const { return device_.get(); }
    const QString& DeviceName() const { return deviceName_; }
    CZelOutputLevel& Level() { return level_; }

    // The device does not play now (unplugged, a sound-server hiccup). The
    // output stays open with its buffers; the sound system reopens the
    // device when it returns and the decks play on where they were.
    bool IsLost() const;

private:
    platform::sound::SoundSystem& system_;
    const dsp::DeckShaping* shaping_;
    std::unique_ptr<CZelOutputDevice> device_;
    QString deviceName_;
    CZelOutputLevel level_;
};

}  // namespace output
