#include "output/CZelOutput.h"

#include "output/DeviceList.h"

namespace output {

CZelOutput::CZelOutput(platform::sound::SoundSystem& system, const dsp::DeckShaping* shaping)
    : system_(system), shaping_(shaping) {}

CZelOutput::~CZelOutput() {
    Close();
}

void CZelOutput::Open(const std::optional<platform::sound::DeviceId>& id, const QString& label) {
    if (!id || label.isEmpty()) return;
    Close();
    device_ = std::make_unique<CZelOutputDevice>(system_, shaping_);
    const bool rear = IsRearLabel(label);
    const bool front = IsFrontLabel(label);
    // A failed creation leaves a device object without a working device: no
    // buffers can be made on it, and nothing is shown.
    device_->Create(id, rear || front, rear);
    deviceName_ = output::DeviceName(label);
    level_.SetDeviceOpen(device_->HasDirectSound());
    level_.OpenLines(deviceName_.toStdString());
}

void CZelOutput::Close() {
    device_.reset();
    level_.SetDeviceOpen(false);
}

bool CZelOutput::IsLost() const {
    return device_ && device_->Failed();
}

}  // namespace output
