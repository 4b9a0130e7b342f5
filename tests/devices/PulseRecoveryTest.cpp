// A stream on a PulseAudio sink that goes away and comes back, as a sound
// server restart or a device unplugged and plugged back looks to us: the
// stream fails, MaintainStreams reopens it, and the deck's sound reaches the
// sink again. A private server with a null sink stands in for the hardware.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

#include "devices/DeviceTestEnvironment.h"
#include "platform/sound/DirectSound.h"
#include "platform/sound/PortAudioBackend.h"
#include "platform/sound/SoundBuffer.h"
#include "platform/sound/SoundSystem.h"
#include "support/PulseServer.h"

using namespace platform::sound;
using testing_support::Eventually;
using testing_support::RunTool;

namespace {

QString SinkModuleArguments() {
    return QString("sink_name=%1 rate=44100 channels=2 norewinds=1").arg(device_tests::kPulseSink);
}

// The sink's monitor recorded for a while: 16-bit stereo at 44,100 Hz.
std::vector<int16_t> RecordSink(int milliseconds) {
    QProcess parec;
    parec.start("parec", {"--latency-msec=20", "-d", QString("%1.monitor").arg(device_tests::kPulseSink),
                          "--format=s16le", "--rate=44100", "--channels=2", "--raw"});
    if (!parec.waitForStarted(5000)) return {};
    QThread::msleep(static_cast<unsigned long>(milliseconds));
    parec.terminate();
    parec.waitForFinished(5000);
    const QByteArray bytes = parec.readAllStandardOutput();
    std::vector<int16_t> samples(static_cast<size_t>(bytes.size()) / 2);
    std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    return samples;
}

double Rms(const std::vector<int16_t>& samples) {
    double sum = 0;
    for (int16_t s : samples) sum += static_cast<double>(s) * s;
    return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size())) / 32768.0;
}

class PulseRecoveryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_.Start(); }
    static void TearDownTestSuite() { server_.Stop(); }

    void SetUp() override {
        if (!server_.SkipReason().empty()) GTEST_SKIP() << server_.SkipReason();
        ASSERT_TRUE(server_.Running()) << "the PulseAudio server did not start";
        ASSERT_TRUE(LoadSink());
    }

    void TearDown() override {
        if (!module_.isEmpty()) RunTool("pactl", {"unload-module", module_});
        module_.clear();
    }

    bool LoadSink() {
        return RunTool("pactl", {"load-module", "module-null-sink", SinkModuleArguments()}, &module_) &&
               RunTool("pactl", {"set-sink-volume", device_tests::kPulseSink, "100%"});
    }
    bool UnloadSink() {
        const bool unloaded = RunTool("pactl", {"unload-module", module_});
        module_.clear();
        return unloaded;
    }

    static inline testing_support::PulseServer server_;
    QString module_;  // the null sink's module index while it is loaded
};

TEST_F(PulseRecoveryTest, AStreamWhoseSinkWentAwayIsReopenedAndHeardAgain) {
    SoundSystem system(std::make_unique<PortAudioBackend>());
    std::optional<DeviceId> id;
    for (const auto& device : system.Enumerate())
        if (device.description == device_tests::kPulseDevice) id = device.id;
    ASSERT_TRUE(id) << device_tests::kPulseDevice << " is not listed";

    std::unique_ptr<DirectSound> device;
    ASSERT_EQ(system.Create(id, &device), kOk);
    ASSERT_EQ(device->SetPrimaryFormat(WaveFormat::Pcm(2, 44'100)), kOk);
    // A second of a loud 441 Hz tone, looping.
    std::vector<int16_t> tone(2 * 44'100);
    for (size_t f = 0; f < tone.size() / 2; ++f)
        tone[2 * f] = tone[2 * f + 1] =
            static_cast<int16_t>(16'000 * std::sin(2 * M_PI * 441.0 * f / 44'100));
    const WaveFormat format = WaveFormat::Pcm(2, 44'100);
    BufferDescription description;
    description.flags = kCapsCtrlVolume;
    description.bufferBytes = static_cast<uint32_t>(tone.size() * 2);
    description.format = &format;
    std::unique_ptr<SoundBuffer> buffer;
    ASSERT_EQ(device->CreateSoundBuffer(description, &buffer), kOk);
    ASSERT_EQ(buffer->Write(0, tone.data(), description.bufferBytes), kOk);
    ASSERT_EQ(buffer->Play(true), kOk);
    DeviceStream& stream = *device->Stream();
    EXPECT_GT(stream.OutputLatency(), 0.0);
    EXPECT_GT(Rms(RecordSink(500)), 0.1) << "the tone does not reach the sink";

    // The sink goes away: the stream fails, and cannot be reopened while it is gone.
    ASSERT_TRUE(UnloadSink());
    EXPECT_TRUE(Eventually([&] {
        system.MaintainStreams();
        return stream.Failed();
    })) << "the stream did not notice that its sink went away";
    for (int i = 0; i < 5; ++i) {
        system.MaintainStreams();
        QThread::msleep(20);
    }
    EXPECT_TRUE(stream.Failed());
    EXPECT_EQ(stream.Recoveries(), 0);

    // The sink comes back: the stream is reopened within a few attempts and the tone is heard again.
    ASSERT_TRUE(LoadSink());
    ASSERT_TRUE(Eventually([&] {
        system.MaintainStreams();
        return !stream.Failed();
    })) << "the stream was not reopened";
    EXPECT_EQ(stream.Recoveries(), 1);
    EXPECT_TRUE(buffer->IsPlaying());
    EXPECT_GT(Rms(RecordSink(500)), 0.1) << "the reopened stream is not heard";
}

}  // namespace
