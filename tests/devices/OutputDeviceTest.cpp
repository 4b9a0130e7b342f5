// The whole output path on a real device: deck buffers on our mixer, through
// a PortAudio stream, into an ALSA file device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "devices/DeviceTestEnvironment.h"
#include "engine/SampleBlock.h"
#include "output/CZelOutput.h"
#include "platform/sound/DirectSound.h"
#include "platform/sound/PortAudioBackend.h"
#include "platform/sound/SoundBuffer.h"
#include "platform/sound/SoundSystem.h"

using namespace platform::sound;

namespace {

constexpr int kBlocksOfSound = 10;

std::vector<int16_t> ReadRaw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Distinct, never-zero sound for each output, so each is found and compared on its own.
int16_t SoundSample(int output, int64_t frame, int channel) {
    return static_cast<int16_t>(1 + (output * 7919 + frame * 2 + channel) % 30'000);
}

void WriteSound(output::CZelOutputDevice& device, int output) {
    engine::SampleBlock block{};
    for (int b = 0; b < kBlocksOfSound; ++b) {
        for (int f = 0; f < engine::kBlockFrames; ++f)
            for (int c = 0; c < 2; ++c)
                block.samples[2 * f + c] = SoundSample(output, int64_t{b} * engine::kBlockFrames + f, c);
        device.WriteForward(0, block.Span());
    }
}

// Finds where an output's sound starts in a channel pair and checks all of it.
void ExpectSoundOnPair(const std::vector<int16_t>& samples, int channels, int firstChannel, int output) {
    const size_t frames = samples.size() / channels;
    size_t start = 0;
    while (start < frames && samples[start * channels + firstChannel] == 0) ++start;
    ASSERT_LT(start, frames) << "nothing on channels " << firstChannel + 1 << "-" << firstChannel + 2;
    const int64_t length = int64_t{kBlocksOfSound} * engine::kBlockFrames;
    ASSERT_GE(static_cast<int64_t>(frames - start), length);
    for (int64_t f = 0; f < length; ++f)
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(samples[(start + f) * channels + firstChannel + c], SoundSample(output, f, c))
                << "frame " << f << " channel " << firstChannel + c + 1;
}

void PlayOnceAndWait(std::vector<SoundBuffer*> buffers) {
    for (SoundBuffer* buffer : buffers) ASSERT_EQ(buffer->Play(false), kOk);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (SoundBuffer* buffer : buffers)
        while (buffer->IsPlaying() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// A whole output opens the two channels it plays on, even on a device that
// takes four, so nothing folds them down on the way.
void ExpectWholeOutputCapturedBitExact(const std::string& deviceName, const QString& label,
                                       const std::string& capturePath) {
    SCOPED_TRACE(deviceName);
    SoundSystem system(std::make_unique<PortAudioBackend>());
    std::optional<DeviceId> id;
    for (const auto& device : system.Enumerate())
        if (device.description == deviceName) id = device.id;
    ASSERT_TRUE(id);
    {
        output::CZelOutput main(system);
        main.Open(id, label);
        ASSERT_EQ(main.Device()->CreateDeckBuffers(0, 44'100, nullptr, nullptr), kOk);
        ASSERT_EQ(main.Device()->DirectSoundObject()->Stream()->Stream()->Channels(), 2);
        WriteSound(*main.Device(), 0);
        PlayOnceAndWait({main.Device()->ForwardBuffer(0)});
    }  // closing the output closes the stream and completes the file
    ExpectSoundOnPair(ReadRaw(capturePath), 2, 0, 0);
}

}  // namespace

TEST(OutputOnRealDevices, DeckBufferIsCapturedBitExactOnAStereoDevice) {
    ExpectWholeOutputCapturedBitExact("filestereo", "filestereo (Can't Split)",
                                      device_tests::StereoCapturePath());
}

TEST(OutputOnRealDevices, AWholeOutputOnAFourChannelDeviceOpensTwoChannels) {
    ExpectWholeOutputCapturedBitExact("filequad", "filequad (Can Split)", device_tests::QuadCapturePath());
}

TEST(OutputOnRealDevices, SplitHalvesLandOnChannelsOneTwoAndThreeFourOfOneStream) {
    SoundSystem system(std::make_unique<PortAudioBackend>());
    std::optional<DeviceId> id;
    for (const auto& device : system.Enumerate())
        if (device.description == "filequad") id = device.id;
    ASSERT_TRUE(id);
    {
        output::CZelOutput main(system), headphones(system);
        main.Open(id, "filequad (Front)");
        headphones.Open(id, "filequad (Rear)");
        ASSERT_EQ(main.Device()->CreateDeckBuffers(0, 44'100, nullptr, nullptr), kOk);
        ASSERT_EQ(headphones.Device()->CreateDeckBuffers(0, 44'100, nullptr, nullptr), kOk);
        EXPECT_EQ(main.Device()->DirectSoundObject()->Stream(),
                  headphones.Device()->DirectSoundObject()->Stream());
        EXPECT_EQ(main.Device()->DirectSoundObject()->Stream()->Stream()->Channels(), 4);
        WriteSound(*main.Device(), 0);
        WriteSound(*headphones.Device(), 1);
        PlayOnceAndWait({main.Device()->ForwardBuffer(0), headphones.Device()->ForwardBuffer(0)});
    }
    const auto samples = ReadRaw(device_tests::QuadCapturePath());
    ExpectSoundOnPair(samples, 4, 0, 0);
    ExpectSoundOnPair(samples, 4, 2, 1);
}
