// The sound device chooser: the lists, their editing rules and the saved
// choice, on made-up devices, and the window that drives them.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "output/CZelSoundDevices.h"
#include "output/SoundDeviceChoice.h"
#include "output/SoundDeviceProbe.h"
#include "settings/CZelSettings.h"

namespace output {
namespace {

using Side = SoundDeviceChoice::Side;
using Labels = std::vector<QString>;

const QString kDisabled = "No Sound Device Selected (Disabled)";

platform::sound::DeviceId TestId(int n) {
    return {static_cast<uint8_t>(n), 0x5a};
}

// Made-up devices: "Primary Sound Driver" without an identifier, then those
// added, device n with identifier TestId(n).
struct FakeSoundDeviceProbe : SoundDeviceProbe {
    void Add(const std::string& description, int n, bool canSplit = false, bool canCreate = true) {
        devices.push_back({description, TestId(n)});
        if (canSplit) splittable.insert(TestId(n));
        if (!canCreate) broken.insert(TestId(n));
    }
    bool Enumerate(std::vector<Reported>& out) override {
        out = devices;
        return enumerationWorks;
    }
    bool CanCreate(const std::optional<platform::sound::DeviceId>& id) override {
        return !id || !broken.contains(*id);
    }
    bool CanSplit(const std::optional<platform::sound::DeviceId>& id) override {
        return id && splittable.contains(*id);
    }

    std::vector<Reported> devices{{"Primary Sound Driver", std::nullopt}};
    std::set<platform::sound::DeviceId> splittable, broken;
    bool enumerationWorks = true;
};

Labels LabelsOf(const std::vector<DeviceEntry>& list) {
    Labels labels;
    for (const DeviceEntry& entry : list) labels.push_back(entry.label);
    return labels;
}

TEST(DeviceListTest, ListsCreatableDevicesLabelledBySplitTest) {
    FakeSoundDeviceProbe probe;
    DeviceList lists;
    lists.Fill(probe);  // nothing but "Primary Sound Driver"
    EXPECT_EQ(LabelsOf(lists.Main()), Labels{kDisabled});
    EXPECT_EQ(LabelsOf(lists.Headphones()), Labels{kDisabled});

    probe.Add("Quad Card", 1, true);
    probe.Add("Primary Sound Driver", 2);  // an identifier does not make it listable
    probe.Add("Broken Card", 3, true, false);
    probe.Add("Stereo Card", 4);
    lists.Fill(probe);
    EXPECT_EQ(LabelsOf(lists.Main()),
              (Labels{kDisabled, "Quad Card (Can Split)", "Stereo Card (Can't Split)"}));
    EXPECT_EQ(lists.Headphones(), lists.Main());
    EXPECT_EQ(lists.IdOf(lists.Main()[0]), std::nullopt);
    EXPECT_EQ(lists.IdOf(lists.Headphones()[2]), TestId(4));

    probe.enumerationWorks = false;  // the main list keeps what was reported, untested
    lists.Fill(probe);
    EXPECT_EQ(LabelsOf(lists.Main()).at(1), "Primary Sound Driver");
    EXPECT_EQ(lists.Main().size(), 6u);
    EXPECT_TRUE(lists.Headphones().empty());
}

// Three devices, the first of them splittable, for the chooser and its window.
class SoundDevices : public ::testing::Test {
protected:
    SoundDevices() {
        probe_.Add("Quad Card", 1, true);
        probe_.Add("Stereo Card", 2);
        probe_.Add("USB Card", 3);
    }
    void Open(const QString& main = "", const QString& headphones = "") {
        choice_.Open(probe_, main, headphones);
    }
    void ExpectSelected(const QString& main, const QString& headphones) const {
        EXPECT_EQ(choice_.SelectedLabel(Side::Main), main);
        EXPECT_EQ(choice_.SelectedLabel(Side::Headphones), headphones);
    }
    QString Shown(const char* list) { return dialog_.findChild<QComboBox*>(list)->currentText(); }
    void Click(const char* button) {
        QTest::mouseClick(dialog_.findChild<QPushButton*>(button), Qt::LeftButton);
    }
    QSpinBox* Latency() { return dialog_.findChild<QSpinBox*>("latencySpin"); }
    // `act` runs once the modal loop runs; a window that is not shown is
    // closed, so the test fails, not hangs.
    QDialog::DialogCode Run(std::function<void()> act) {
        QTimer::singleShot(0, &dialog_, [this, act] { dialog_.isVisible() ? act() : dialog_.reject(); });
        return dialog_.Run(true);
    }

    FakeSoundDeviceProbe probe_;
    SoundDeviceChoice choice_;
    QTemporaryDir dir_;
    CZelSettings settings_{dir_.filePath("orvo2.ini")};
    CZelSoundDevices dialog_{probe_, settings_};
};

using SoundDeviceChoiceTest = SoundDevices;
using CZelSoundDevicesTest = SoundDevices;

TEST_F(SoundDeviceChoiceTest, DefaultsDependOnTheNumberOfDevices) {
    FakeSoundDeviceProbe none;
    EXPECT_TRUE(choice_.Open(none, "", ""));
    EXPECT_EQ(choice_.Ok().main.id, std::nullopt);
    EXPECT_EQ(choice_.Ok().headphones.label, kDisabled);

    FakeSoundDeviceProbe one;
    one.Add("Quad Card", 1, true);
    EXPECT_FALSE(choice_.Open(one, "", "")) << "only the first opening confirms at once";
    ExpectSelected("Quad Card (Can Split)", kDisabled);
}

TEST_F(SoundDeviceChoiceTest, SplitPickAndJoin) {
    Open("Stereo Card (Can't Split)", "USB Card (Can't Split)");
    const Labels unsplit = LabelsOf(choice_.Entries(Side::Main));
    choice_.Split(Side::Main);
    EXPECT_EQ(LabelsOf(choice_.Entries(Side::Main)), unsplit) << "a (Can't Split) entry stays whole";

    // Splitting gives this side the front and the other the rear, in both lists.
    choice_.Select(Side::Main, 1);
    choice_.Split(Side::Main);
    const Labels split{kDisabled, "Quad Card (Front)", "Quad Card (Rear)", "Stereo Card (Can't Split)",
                       "USB Card (Can't Split)"};
    EXPECT_EQ(LabelsOf(choice_.Entries(Side::Main)), split);
    EXPECT_EQ(LabelsOf(choice_.Entries(Side::Headphones)), split);
    ExpectSelected("Quad Card (Front)", "Quad Card (Rear)");
    EXPECT_EQ(choice_.Ok().headphones.id, TestId(1));

    // Picking what the other side shows moves the other side.
    choice_.Select(Side::Headphones, 1);
    ExpectSelected("Quad Card (Rear)", "Quad Card (Front)");
    choice_.Select(Side::Main, 1);
    ExpectSelected("Quad Card (Front)", "Quad Card (Rear)");
    choice_.Select(Side::Main, 3);  // the headphones' whole device
    choice_.Select(Side::Headphones, 3);
    ExpectSelected(kDisabled, "Stereo Card (Can't Split)");

    // Joining leaves this side whole and the other disabled.
    for (const Side side : {Side::Main, Side::Headphones}) {
        choice_.Select(Side::Main, 1);
        choice_.Split(Side::Main);
        choice_.Join(side);
        EXPECT_EQ(LabelsOf(choice_.Entries(Side::Headphones)), unsplit);
        EXPECT_EQ(choice_.SelectedLabel(side), "Quad Card (Can Split)");
        EXPECT_EQ(choice_.SelectedId(side), TestId(1));
        EXPECT_EQ(choice_.Selection(side == Side::Main ? Side::Headphones : Side::Main), 0);
    }
}

TEST_F(SoundDeviceChoiceTest, RestoreMatchesByNameAndSplitsSavedHalvesAgain) {
    Open("Quad Card (Rear)", "USB Card (Can't Split)");
    ExpectSelected("Quad Card (Rear)", "USB Card (Can't Split)");
    Open("Quad Card (Front)", "Quad Card (Rear)");
    ExpectSelected("Quad Card (Front)", "Quad Card (Rear)");
    EXPECT_EQ(choice_.Entries(Side::Headphones).size(), 5u) << "the device is split once";
    Open("USB Card (Can Split)", "Quad Card (Can't Split)");  // the split test's answer changed
    ExpectSelected("USB Card (Can't Split)", "Quad Card (Can Split)");
    Open("Gone Card (Can Split)", "Gone Card (Rear)");
    ExpectSelected("Quad Card (Can Split)", "Stereo Card (Can't Split)");
    EXPECT_EQ(choice_.Entries(Side::Main).size(), 4u);
}

TEST_F(CZelSoundDevicesTest, FirstRunConfirmsUnseenLaterRunsAreDrivenByTheUser) {
    QTimer guard;  // rejects the window should the first run show it
    guard.callOnTimeout(&dialog_, &QDialog::reject);
    guard.start(0);
    EXPECT_EQ(dialog_.Run(true), QDialog::Accepted) << "the first run confirms without showing the window";
    guard.stop();
    EXPECT_EQ(settings_.SoundDeviceMain().value, "Quad Card (Can Split)");
    EXPECT_EQ(settings_.SoundDeviceHeadphones().value, "Stereo Card (Can't Split)");
    EXPECT_EQ(dialog_.ChosenHeadphonesId(), TestId(2));
    EXPECT_EQ(dialog_.ChosenLatencyMs(), 20) << "the default";
    EXPECT_EQ(settings_.OutputLatencyMs().value, 20);

    EXPECT_EQ(Run([this] {
                  Click("mainSplitButton");
                  EXPECT_EQ(Shown("headphonesList"), "Quad Card (Rear)");
                  EXPECT_EQ(Latency()->minimum(), 5);
                  EXPECT_EQ(Latency()->maximum(), 100);
                  Latency()->setValue(8);
                  Click("okButton");
              }),
              QDialog::Accepted);
    EXPECT_EQ(settings_.SoundDeviceMain().value, "Quad Card (Front)");
    EXPECT_EQ(settings_.SoundDeviceHeadphones().value, "Quad Card (Rear)");
    EXPECT_EQ(dialog_.ChosenHeadphonesId(), TestId(1));
    EXPECT_EQ(dialog_.ChosenMainLabel(), "Quad Card (Front)");
    EXPECT_EQ(dialog_.ChosenLatencyMs(), 8);
    EXPECT_EQ(settings_.OutputLatencyMs().value, 8) << "saved with the devices";

    // A cancelled join saves nothing, and the next run splits again from the saved labels.
    EXPECT_EQ(Run([this] {
                  Click("headphonesJoinButton");
                  EXPECT_EQ(Shown("mainList"), "No Sound Device Selected (Disabled)");
                  Latency()->setValue(50);
                  Click("cancelButton");
              }),
              QDialog::Rejected);
    EXPECT_EQ(settings_.SoundDeviceMain().value, "Quad Card (Front)");
    EXPECT_EQ(dialog_.ChosenMainId(), TestId(1));
    EXPECT_EQ(dialog_.ChosenLatencyMs(), 8);

    EXPECT_EQ(Run([this] {
                  EXPECT_EQ(Shown("headphonesList"), "Quad Card (Rear)");
                  QTest::keyClick(dialog_.findChild<QComboBox*>("mainList"),
                                  Qt::Key_Down);  // to the rear half
                  EXPECT_EQ(Shown("headphonesList"), "Quad Card (Front)");
                  Click("okButton");
              }),
              QDialog::Accepted);
    EXPECT_EQ(settings_.SoundDeviceMain().value, "Quad Card (Rear)");
    EXPECT_EQ(settings_.SoundDeviceHeadphones().value, "Quad Card (Front)");

    // A latency out of its range in the file reads as the default.
    settings_.WriteOutputLatencyMs(4000);
    EXPECT_EQ(settings_.OutputLatencyMs().value, 20);
}

}  // namespace
}  // namespace output
