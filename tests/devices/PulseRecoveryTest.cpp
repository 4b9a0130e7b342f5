// A stream on a PulseAudio sink that goes away and comes back, as a sound
// server restart or a device unplugged and plugged back looks to us: the
// stream fails, MaintainStreams reopens it, and the deck's sound reaches the
// sink again. A private server with a null sink stands in for the hardware.
#include <gtest/gtest.h>

#include <QProcess>
#include <QThread>

#include <cmath>
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

// The level (RMS, relative to full scale) of what the sink's monitor records
// in half a second, 16-bit stereo at 44,100 Hz.
double SinkLevel() {
    QProcess parec;
    parec.start("parec", {"--latency-msec=20", "-d", QString("%1.monitor").arg(device_tests::kPulseSink),
                          "--format=s16le", "--rate=44100", "--channels=2", "--raw"});
    if (!parec.waitForStarted(5000)) return 0;
    QThread::msleep(500);
    parec.terminate();
    parec.waitForFinished(5000);
    const QByteArray bytes = parec.readAllStandardOutput();
    const auto* samples = reinterpret_cast<const int16_t*>(bytes.constData());
    const auto count = static_cast<size_t>(bytes.size()) / 2;
    double sum = 0;
    for (size_t i = 0; i < count; ++i) sum += static_cast<double>(samples[i]) * samples[i];
    return count ? std::sqrt(sum / static_cast<double>(count)) / 32768.0 : 0.0;
}

TEST(PulseRecoveryTest, AStreamWhoseSinkWentAwayIsReopenedAndHeardAgain) {
    testing_support::PulseServer server;
    if (!server.Start()) {
        if (!server.SkipReason().empty()) GTEST_SKIP() << server.SkipReason();
        FAIL() << "the PulseAudio server did not start";
    }
    // The null sink, loaded and unloaded as a module.
    QString module;
    const auto loadSink = [&] {
        const QString sink =
            QString("sink_name=%1 rate=44100 channels=2 norewinds=1").arg(device_tests::kPulseSink);
        return RunTool("pactl", {"load-module", "module-null-sink", sink}, &module) &&
               RunTool("pactl", {"set-sink-volume", device_tests::kPulseSink, "100%"});
    };
    ASSERT_TRUE(loadSink());
    SoundSystem system(std::make_unique<PortAudioBackend>());
    std::optional<DeviceId> id;
    for (const auto& device : system.Enumerate())
        if (device.description == device_tests::kPulseDevice) id = device.id;
    ASSERT_TRUE(id) << device_tests::kPulseDevice << " is not listed";
    std::unique_ptr<DirectSound> device;
    ASSERT_EQ(system.Create(id, &device), kOk);
    const WaveFormat format = WaveFormat::Pcm(2, 44'100);
    ASSERT_EQ(device->SetPrimaryFormat(format), kOk);
    // A second of a loud 441 Hz tone, looping.
    std::vector<int16_t> tone(2 * 44'100);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] =
            static_cast<int16_t>(16'000 * std::sin(2 * M_PI * 441.0 * static_cast<double>(i / 2) / 44'100));
    BufferDescription description;
    description.bufferBytes = static_cast<uint32_t>(tone.size() * 2);
    description.format = &format;
    std::unique_ptr<SoundBuffer> buffer;
    ASSERT_EQ(device->CreateSoundBuffer(description, &buffer), kOk);
    ASSERT_EQ(buffer->Write(0, tone.data(), description.bufferBytes), kOk);
    ASSERT_EQ(buffer->Play(true), kOk);
    DeviceStream& stream = *device->Stream();
    EXPECT_GT(stream.OutputLatency(), 0.0);
    EXPECT_GT(SinkLevel(), 0.1) << "the tone does not reach the sink";

    // The sink goes away: the stream fails, and cannot be reopened while it is gone.
    ASSERT_TRUE(RunTool("pactl", {"unload-module", module}));
    const auto maintainedUntil = [&](bool failed) {
        return Eventually([&] {
            system.MaintainStreams();
            return stream.Failed() == failed;
        });
    };
    EXPECT_TRUE(maintainedUntil(true)) << "the stream did not notice that its sink went away";
    for (int i = 0; i < 5; ++i) {
        system.MaintainStreams();
        QThread::msleep(20);
    }
    EXPECT_TRUE(stream.Failed());
    EXPECT_EQ(stream.Recoveries(), 0);

    // The sink comes back: the stream is reopened within a few attempts and the tone is heard again.
    ASSERT_TRUE(loadSink());
    ASSERT_TRUE(maintainedUntil(false)) << "the stream was not reopened";
    EXPECT_EQ(stream.Recoveries(), 1);
    EXPECT_TRUE(buffer->IsPlaying());
    EXPECT_GT(SinkLevel(), 0.1) << "the reopened stream is not heard";
}

}  // namespace
