#include <gtest/gtest.h>

#include "output/FakeSoundDeviceProbe.h"
#include "output/SoundDeviceChoice.h"

namespace output {
namespace {

using testing::FakeSoundDeviceProbe;
using testing::TestId;
using Side = SoundDeviceChoice::Side;
using Labels = std::vector<QString>;

const QString kDisabled = "No Sound Device Selected (Disabled)";

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

TEST(DeviceListTest, AtMostTwentyDevicesOnEveryFill) {
    FakeSoundDeviceProbe probe;
    for (int n = 1; n <= 25; ++n) probe.Add("Card " + std::to_string(n), n);
    DeviceList lists;
    for (int fill = 0; fill < 30; ++fill) {
        lists.Fill(probe);
        ASSERT_EQ(lists.Headphones().size(), 21u) << "fill " << fill;
        EXPECT_EQ(lists.Main()[20].label, "Card 20 (Can't Split)");
        EXPECT_EQ(lists.IdOf(lists.Main()[20]), TestId(20));
    }
}

TEST(DeviceListTest, DeviceNameCutsTheSuffixAndTheBlankBeforeIt) {
    for (const char* label :
         {"Card (Can Split)", "Card (Can't Split)", "Card (Front)", "Card (Rear)", "Card"})
        EXPECT_EQ(DeviceName(label), "Card") << label;
    EXPECT_EQ(DeviceName(kDisabled), kDisabled);
    EXPECT_EQ(DeviceName("Card(Rear)"), "Car");
    EXPECT_EQ(DeviceName("A (Rear) B (Rear)"), "A") << "cut at the first occurrence";
    EXPECT_EQ(DeviceName("Card (rear)"), "Card (rear)") << "suffixes are compared exactly";
    EXPECT_FALSE(IsFrontLabel("Card (Front) "));
    EXPECT_FALSE(IsCanSplitLabel("Card (Can't Split)"));
}

class SoundDeviceChoiceTest : public ::testing::Test {
protected:
    void SetUp() override {
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

    FakeSoundDeviceProbe probe_;
    SoundDeviceChoice choice_;
};

TEST_F(SoundDeviceChoiceTest, DefaultsDependOnTheNumberOfDevices) {
    FakeSoundDeviceProbe none;
    EXPECT_TRUE(choice_.Open(none, "", ""));
    EXPECT_EQ(choice_.Ok().main.id, std::nullopt);
    EXPECT_EQ(choice_.Ok().headphones.label, kDisabled);

    FakeSoundDeviceProbe one;
    one.Add("Quad Card", 1, true);
    EXPECT_FALSE(choice_.Open(one, "", "")) << "only the first opening confirms at once";
    ExpectSelected("Quad Card (Can Split)", kDisabled);

    Open();
    const SoundDeviceChoice::Choice& chosen = choice_.Ok();
    EXPECT_EQ(chosen.main.id, TestId(1));
    EXPECT_EQ(chosen.main.label, "Quad Card (Can Split)");
    EXPECT_EQ(chosen.headphones.id, TestId(2));
    EXPECT_EQ(chosen.headphones.label, "Stereo Card (Can't Split)");
}

TEST_F(SoundDeviceChoiceTest, SplitGivesThisSideTheFrontAndTheOtherTheRear) {
    Open("Stereo Card (Can't Split)", "USB Card (Can't Split)");
    const Labels unsplit = LabelsOf(choice_.Entries(Side::Main));
    choice_.Split(Side::Main);
    EXPECT_EQ(LabelsOf(choice_.Entries(Side::Main)), unsplit) << "a (Can't Split) entry stays whole";

    choice_.Select(Side::Main, 1);
    choice_.Split(Side::Main);
    const Labels split{kDisabled, "Quad Card (Front)", "Quad Card (Rear)", "Stereo Card (Can't Split)",
                       "USB Card (Can't Split)"};
    EXPECT_EQ(LabelsOf(choice_.Entries(Side::Main)), split);
    EXPECT_EQ(LabelsOf(choice_.Entries(Side::Headphones)), split);
    ExpectSelected("Quad Card (Front)", "Quad Card (Rear)");
    EXPECT_EQ(choice_.Ok().headphones.id, TestId(1));
}

TEST_F(SoundDeviceChoiceTest, PickingWhatTheOtherSideShowsMovesTheOtherSide) {
    Open();
    choice_.Select(Side::Main, 2);  // the headphones' whole device
    ExpectSelected("Stereo Card (Can't Split)", kDisabled);

    choice_.Select(Side::Headphones, 1);
    choice_.Split(Side::Headphones);
    ExpectSelected("Quad Card (Rear)", "Quad Card (Front)");
    choice_.Select(Side::Main, 1);
    ExpectSelected("Quad Card (Front)", "Quad Card (Rear)");
    choice_.Select(Side::Headphones, 1);
    ExpectSelected("Quad Card (Rear)", "Quad Card (Front)");
}

TEST_F(SoundDeviceChoiceTest, JoinLeavesThisSideWholeAndTheOtherDisabled) {
    Open();
    const Labels unsplit = LabelsOf(choice_.Entries(Side::Main));
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

}  // namespace
}  // namespace output
