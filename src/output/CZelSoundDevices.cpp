#include "output/CZelSoundDevices.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "output/SoundDeviceProbe.h"
#include "settings/CZelSettings.h"

namespace {

constexpr int kListMinimumWidth = 340;

}  // namespace

CZelSoundDevices::CZelSoundDevices(output::SoundDeviceProbe& probe, const CZelSettings& settings,
                                   QWidget* parent)
    : QDialog(parent), probe_(probe), settings_(settings) {
    setWindowTitle("Select Sound Devices");
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeGroup(Side::Main, "Main Sound Device", "main"));
    layout->addWidget(MakeGroup(Side::Headphones, "Headphones Sound Device", "headphones"));

    // How far ahead of the speakers the sound is mixed: lower answers sooner,
    // higher rides out a busy machine.
    latency_ = new QSpinBox(this);
    latency_->setObjectName("latencySpin");
    latency_->setRange(CZelSettings::kMinOutputLatencyMs, CZelSettings::kMaxOutputLatencyMs);
    latency_->setSuffix(" ms");
    latency_->setToolTip(
        "How far ahead of the speakers the sound is prepared. Lower reacts sooner; higher is "
        "safer on a busy computer.");
    auto* latencyRow = new QHBoxLayout;
    latencyRow->addWidget(new QLabel("Output latency:", this));
    latencyRow->addWidget(latency_);
    latencyRow->addStretch();
    layout->addLayout(latencyRow);

    auto* ok = new QPushButton("OK", this);
    auto* cancel = new QPushButton("Cancel", this);
    ok->setObjectName("okButton");
    cancel->setObjectName("cancelButton");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CZelSoundDevices::accept);
    connect(cancel, &QPushButton::clicked, this, &CZelSoundDevices::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* CZelSoundDevices::MakeGroup(Side side, const QString& title, const QString& objectPrefix) {
    auto* group = new QGroupBox(title, this);
    SideControls& controls = controls_[side == Side::Main ? 0 : 1];
    controls.split = new QPushButton("Split", group);
    controls.join = new QPushButton("Join", group);
    controls.list = new QComboBox(group);
    controls.split->setObjectName(objectPrefix + "SplitButton");
    controls.join->setObjectName(objectPrefix + "JoinButton");
    controls.list->setObjectName(objectPrefix + "List");
    // Split and Join are never the default button: Return confirms the window.
    controls.split->setAutoDefault(false);
    controls.join->setAutoDefault(false);
    controls.list->setMinimumWidth(kListMinimumWidth);
    controls.list->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    auto* row = new QHBoxLayout(group);
    row->addWidget(controls.split);
    row->addWidget(controls.join);
    row->addWidget(controls.list, 1);

    connect(controls.split, &QPushButton::clicked, this, [this, side] {
        choice_.Split(side);
        ShowLists();
    });
    connect(controls.join, &QPushButton::clicked, this, [this, side] {
        choice_.Join(side);
        ShowLists();
    });
    // Only the user's own picks apply the rules; the window's own changes are
    // made with the signals blocked.
    connect(controls.list, &QComboBox::activated, this, [this, side](int index) {
        choice_.Select(side, index);
        ShowLists();
    });
    return group;
}

QDialog::DialogCode CZelSoundDevices::Run(bool visible) {
    const bool firstRun =
        choice_.Open(probe_, settings_.SoundDeviceMain().value, settings_.SoundDeviceHeadphones().value);
    ShowLists();
    latency_->setValue(settings_.OutputLatencyMs().value);
    if (firstRun || !visible) {
        Confirm();
        return QDialog::Accepted;
    }
    return exec() == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}

void CZelSoundDevices::accept() {
    Confirm();
    QDialog::accept();
}

void CZelSoundDevices::Confirm() {
    const output::SoundDeviceChoice::Choice& chosen = choice_.Ok();
    settings_.WriteSoundDeviceMain(chosen.main.label);
    settings_.WriteSoundDeviceHeadphones(chosen.headphones.label);
    chosenLatencyMs_ = latency_->value();
    settings_.WriteOutputLatencyMs(chosenLatencyMs_);
}

void CZelSoundDevices::ShowLists() {
    for (const Side side : {Side::Main, Side::Headphones}) {
        QComboBox* list = controls_[side == Side::Main ? 0 : 1].list;
        const QSignalBlocker blocker(list);
        list->clear();
        for (const output::DeviceEntry& entry : choice_.Entries(side)) list->addItem(entry.label);
        list->setCurrentIndex(choice_.Selection(side));
    }
}
