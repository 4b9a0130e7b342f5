#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include "output/CZelSoundDevices.h"
#include "output/FakeSoundDeviceProbe.h"
#include "settings/CZelSettings.h"

namespace {

using output::testing::TestId;

class CZelSoundDevicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        probe_.Add("Quad Card", 1, true);
        probe_.Add("Stereo Card", 2);
    }
    QString Shown(const char* list) { return dialog_.findChild<QComboBox*>(list)->currentText(); }
    void Click(const char* button) {
        QTest::mouseClick(dialog_.findChild<QPushButton*>(button), Qt::LeftButton);
    }
    // `act` runs once the modal loop runs; a window that is not shown is closed, so the test fails, not
    // hangs.
    QDialog::DialogCode Run(std::function<void()> act) {
        QTimer::singleShot(0, &dialog_, [this, act] { dialog_.isVisible() ? act() : dialog_.reject(); });
        return dialog_.Run(true);
    }

    QTemporaryDir dir_;
    CZelSettings settings_{dir_.filePath("orvo2.ini")};
    output::testing::FakeSoundDeviceProbe probe_;
    CZelSoundDevices dialog_{probe_, settings_};
};

TEST_F(CZelSoundDevicesTest, FirstRunConfirmsUnseenLaterRunsAreDrivenByTheUser) {
    bool shown = false;
    QTimer guard;  // fires only if Run() enters an event loop
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &dialog_, [&] {
        shown = true;
        dialog_.reject();
    });
    guard.start(0);
    EXPECT_EQ(dialog_.Run(true), QDialog::Accepted);
    guard.stop();
    EXPECT_FALSE(shown);
    EXPECT_EQ(settings_.SoundDeviceMain().value, "Quad Card (Can Split)");
    EXPECT_EQ(settings_.SoundDeviceHeadphones().value, "Stereo Card (Can't Split)");
    EXPECT_EQ(dialog_.ChosenHeadphonesId(), TestId(2));

    EXPECT_EQ(Run([this] {
                  Click("mainSplitButton");
                  EXPECT_EQ(Shown("headphonesList"), "Quad Card (Rear)");
                  Click("okButton");
              }),
              QDialog::Accepted);
    EXPECT_EQ(settings_.SoundDeviceMain().value, "Quad Card (Front)");
    EXPECT_EQ(settings_.SoundDeviceHeadphones().value, "Quad Card (Rear)");
    EXPECT_EQ(dialog_.ChosenHeadphonesId(), TestId(1));
    EXPECT_EQ(dialog_.ChosenMainLabel(), "Quad Card (Front)");

    // A cancelled join saves nothing, and the next run splits again from the saved labels.
    EXPECT_EQ(Run([this] {
                  Click("headphonesJoinButton");
                  EXPECT_EQ(Shown("mainList"), "No Sound Device Selected (Disabled)");
                  Click("cancelButton");
              }),
              QDialog::Rejected);
    EXPECT_EQ(settings_.SoundDeviceMain().value, "Quad Card (Front)");
    EXPECT_EQ(dialog_.ChosenMainId(), TestId(1));

    EXPECT_EQ(Run([this] {
                  EXPECT_EQ(Shown("headphonesList"), "Quad Card (Rear)");
                  QTest::keyClick(dialog_.findChild<QComboBox*>("mainList"),
                                  Qt::Key_Down);  // main to the rear half
                  EXPECT_EQ(Shown("headphonesList"), "Quad Card (Front)");
                  Click("okButton");
              }),
              QDialog::Accepted);
    EXPECT_EQ(settings_.SoundDeviceMain().value, "Quad Card (Rear)");
    EXPECT_EQ(settings_.SoundDeviceHeadphones().value, "Quad Card (Front)");
}

TEST_F(CZelSoundDevicesTest, TheOutputLatencyIsTheUsersAndKeptWithinItsRange) {
    EXPECT_EQ(dialog_.Run(true), QDialog::Accepted);
    EXPECT_EQ(dialog_.ChosenLatencyMs(), 20) << "the default";
    EXPECT_EQ(settings_.OutputLatencyMs().value, 20);

    EXPECT_EQ(Run([this] {
                  auto* latency = dialog_.findChild<QSpinBox*>("latencySpin");
                  EXPECT_EQ(latency->minimum(), 5);
                  EXPECT_EQ(latency->maximum(), 100);
                  latency->setValue(8);
                  Click("okButton");
              }),
              QDialog::Accepted);
    EXPECT_EQ(dialog_.ChosenLatencyMs(), 8);
    EXPECT_EQ(settings_.OutputLatencyMs().value, 8) << "saved with the devices";

    // Cancel keeps the choice; a value out of range in the file reads as the default.
    EXPECT_EQ(Run([this] {
                  dialog_.findChild<QSpinBox*>("latencySpin")->setValue(50);
                  Click("cancelButton");
              }),
              QDialog::Rejected);
    EXPECT_EQ(dialog_.ChosenLatencyMs(), 8);
    settings_.WriteOutputLatencyMs(4000);
    EXPECT_EQ(settings_.OutputLatencyMs().value, 20);
}

}  // namespace
