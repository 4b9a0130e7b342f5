#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include <utility>

#include "output/CZelMixerLine.h"
#include "output/CZelOutputLevel.h"
#include "platform/mixer/AlsaMixerElement.h"
#include "platform/mixer/MixerDirectory.h"
#include "support/PulseServer.h"

using output::CZelMixerLine;
using output::CZelOutputLevel;
using platform::mixer::MixerDirectory;
using testing_support::RunTool;

namespace {

constexpr uint32_t kSpeakers = CZelMixerLine::kComponentTypeSpeakers;
constexpr uint32_t kWaveOut = CZelMixerLine::kComponentTypeWaveOut;

std::pair<unsigned, unsigned> StereoVolume(CZelMixerLine& line) {
    unsigned left = 0, right = 0;
    line.GetStereoVolume(left, right);
    return {left, right};
}

TEST(MixerLine, RangeArithmeticControlDevicesAndALineWithoutDevice) {
    EXPECT_EQ(CZelMixerLine::ValueOf(50, 0, 65535), 32767);  // the division comes last
    EXPECT_EQ(CZelMixerLine::ValueOf(25, 100, 1100), 350);
    EXPECT_EQ(CZelMixerLine::PercentOf(32767, 0, 65535), 50u);  // 49.999 rounds up
    EXPECT_EQ(CZelMixerLine::PercentOf(327, 0, 65535), 0u);
    EXPECT_EQ(CZelMixerLine::PercentOf(350, 100, 1100), 25u);
    EXPECT_EQ(MixerDirectory::ControlDeviceFor("HDA Intel PCH: ALC892 Analog (hw:12,3)"), "hw:12");
    EXPECT_EQ(MixerDirectory::ControlDeviceFor("Primary Sound Driver"), "default");
    EXPECT_EQ(MixerDirectory::ControlDeviceFor(""), std::nullopt);

    // Unopened, a line reads full and changes nothing.
    CZelMixerLine line;
    EXPECT_FALSE(line.Open(kSpeakers, ""));
    EXPECT_EQ(line.GetVolume(), 100u);
    EXPECT_EQ(StereoVolume(line), std::make_pair(100u, 100u));
    EXPECT_FALSE(line.SetVolume(50));
    CZelOutputLevel level;
    EXPECT_FALSE(level.OpenLines(""));
    EXPECT_EQ(level.GetMasterVolume(), 0.0);  // no sound device
    level.SetDeviceOpen(true);
    EXPECT_EQ(level.GetMasterVolume(), 1.0);  // a device whose mixer is missing
    EXPECT_EQ(level.GetWaveVolume(), 1.0);
}

// The volume of the sink "main" as PulseAudio itself reports it, in percent.
std::pair<int, int> SinkPercents() {
    QString text;
    if (!RunTool("pactl", {"get-sink-volume", "main"}, &text)) return {-1, -1};
    static const QRegularExpression kVolume(R"(front-left: \d+ /\s*(\d+)%.*front-right: \d+ /\s*(\d+)%)");
    const auto match = kVolume.match(text);
    if (!match.hasMatch()) return {-1, -1};
    return {match.captured(1).toInt(), match.captured(2).toInt()};
}

// A private PulseAudio server with one null sink "main", reached by the ALSA
// control device "pulse" (the pulse plugin's system configuration).
class PulseMixerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // ALSA reads its configuration once per process, and the pulse hook
        // redirects "default" to PulseAudio only if a server answers then.
        // Reading it before the server starts keeps "default" unchanged for
        // the tests that run after these.
        platform::mixer::AlsaMixerElement::ControlDeviceOpens("default");
        server_.Start({"module-null-sink sink_name=main rate=44100 channels=2 norewinds=1"});
    }
    static void TearDownTestSuite() { server_.Stop(); }

    void SetUp() override {
        if (!server_.SkipReason().empty()) GTEST_SKIP() << server_.SkipReason();
        ASSERT_TRUE(server_.Running()) << "the PulseAudio server did not start";
        ASSERT_TRUE(RunTool("pactl", {"set-sink-volume", "main", "100%"}));
    }

    static inline testing_support::PulseServer server_;
};

TEST_F(PulseMixerTest, TheMasterElementsVolumeReachesTheSinkAndChangesFromOutsideReadBack) {
    EXPECT_EQ(MixerDirectory::ControlDeviceFor("pulse"), "pulse");
    CZelMixerLine line, wave;
    ASSERT_TRUE(line.Open(kSpeakers, "pulse"));
    EXPECT_EQ(line.Control(), "Master");
    EXPECT_EQ(line.Minimum(), 0);
    EXPECT_EQ(line.Maximum(), 65536);
    ASSERT_TRUE(wave.Open(kWaveOut, "pulse"));
    EXPECT_EQ(wave.Control(), "Master");  // the server has no "PCM"

    ASSERT_TRUE(line.SetVolume(50));
    EXPECT_EQ(SinkPercents(), std::make_pair(50, 50));
    EXPECT_EQ(line.GetVolume(), 50u);
    // Changes made by other programs reach us as events, a moment later.
    ASSERT_TRUE(RunTool("amixer", {"-q", "-D", "pulse", "sset", "Master", "30%"}));
    EXPECT_TRUE(testing_support::Eventually([&] { return line.GetVolume() == 30u; }));
    ASSERT_TRUE(line.SetStereoVolume(80, 40));
    EXPECT_EQ(SinkPercents(), std::make_pair(80, 40));
    EXPECT_EQ(StereoVolume(line), std::make_pair(80u, 40u));
    EXPECT_EQ(line.GetVolume(), 80u);  // the line as a whole: its louder side

    // A failed reopen keeps the range and control found before.
    EXPECT_FALSE(line.Open(kSpeakers, ""));
    EXPECT_EQ(line.Maximum(), 65536);
    EXPECT_EQ(line.Control(), "Master");
}

TEST_F(PulseMixerTest, OutputLevelDrivesVolumeAndBalanceAndKeepsTheLinesOwnLevel) {
    // The sink is at 57 % when the output opens; nothing has set a volume yet.
    ASSERT_TRUE(RunTool("pactl", {"set-sink-volume", "main", "57%"}));
    CZelOutputLevel level;
    level.SetDeviceOpen(true);
    ASSERT_TRUE(level.OpenLines("pulse"));
    ASSERT_NEAR(level.GetMasterVolume(), 0.57, 1e-9);
    // Centring the balance must not silence the audience.
    level.SetMasterBalance(0.0);
    EXPECT_EQ(SinkPercents(), std::make_pair(57, 57));
    level.SetMasterBalance(-0.5);
    EXPECT_EQ(SinkPercents(), std::make_pair(57, 28));
    // A volume read back and set again is the same volume, not one percent less.
    level.SetMasterVolume(level.GetMasterVolume());
    EXPECT_EQ(SinkPercents(), std::make_pair(57, 57));

    level.SetMasterVolume(0.8);
    level.SetMasterBalance(-0.5);
    EXPECT_EQ(SinkPercents(), std::make_pair(80, 40));
    level.SetMasterBalance(1.0);
    EXPECT_EQ(SinkPercents(), std::make_pair(0, 80));
    // A volume change evens the channels out again.
    level.SetWaveVolume(0.5);
    EXPECT_EQ(SinkPercents(), std::make_pair(50, 50));
    EXPECT_EQ(level.GetWaveVolume(), 0.5);
    // The wave balance works from the wave volume kept.
    level.SetWaveBalance(-1.0);
    EXPECT_EQ(SinkPercents(), std::make_pair(50, 0));

    // Without a device nothing reaches the sink.
    level.SetDeviceOpen(false);
    level.SetMasterVolume(0.2);
    level.SetMasterBalance(0.0);
    EXPECT_EQ(SinkPercents(), std::make_pair(50, 0));
    EXPECT_EQ(level.GetMasterVolume(), 0.0);
}

}  // namespace
