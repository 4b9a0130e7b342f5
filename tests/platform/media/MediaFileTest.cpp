#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DecoderReading.h"
#include "platform/media/AudioDecoder.h"
#include "platform/media/MediaFile.h"
#include "support/AudioFixtures.h"

using platform::media::AudioDecoder;
using platform::media::MediaFile;

namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 3 * kRate;

using MediaFileTest = media_test::ScratchTest;

// What happens to a loaded file behind the decoder's back.
enum class Fate { Deleted, Renamed, ReplacedByAnother };

}  // namespace

TEST_F(MediaFileTest, DecoderKeepsPlayingAFileThatIsDeletedOrMovedWhileOpen) {
    ASSERT_TRUE(fixtures::WriteWav(Path("ramp.wav"), fixtures::Ramp(kFrames, 2), 2, kRate));
    ASSERT_TRUE(fixtures::WriteWav(Path("noise.wav"), fixtures::Noise(kFrames, 2, 5), 2, kRate));
    ASSERT_TRUE(fixtures::Encode(Path("ramp.wav"), Path("ramp.flac"), {"-c:a", "flac"}));
    ASSERT_TRUE(fixtures::Encode(Path("noise.wav"), Path("noise.mp3"), {"-c:a", "libmp3lame"}));

    for (const std::string name : {"ramp.wav", "ramp.flac", "noise.mp3"}) {
        const std::vector<int16_t> original = media_test::DecodeFile(Path(name));
        ASSERT_GT(original.size(), 2u * kRate) << name;
        const size_t middle = original.size() / 4 * 2;  // a whole frame near the middle
        for (const Fate fate : {Fate::Deleted, Fate::Renamed, Fate::ReplacedByAnother}) {
            SCOPED_TRACE(name + " fate " + std::to_string(static_cast<int>(fate)));
            const std::string path = Path("loaded-" + name);
            std::filesystem::copy_file(Path(name), path, std::filesystem::copy_options::overwrite_existing);
            AudioDecoder decoder;
            ASSERT_TRUE(decoder.Open(path)) << decoder.ErrorText();
            // Some of it plays first, as on a deck.
            ASSERT_EQ(media_test::ReadFrames(decoder, 10000).size(), 20000u);

            if (fate == Fate::Deleted) {
                ASSERT_TRUE(std::filesystem::remove(path));
            } else {
                std::filesystem::rename(path, Path("moved-" + name));
                // The name now leads to a different file, which must not be read.
                if (fate == Fate::ReplacedByAnother) std::filesystem::copy_file(Path("noise.wav"), path);
            }

            // Back to the start: the decoder opens its stream afresh.
            ASSERT_TRUE(decoder.Seek(0)) << decoder.ErrorText();
            EXPECT_EQ(media_test::ReadFrames(decoder, 4096),
                      std::vector<int16_t>(original.begin(), original.begin() + 8192));
            // To the middle: MP3 lands within a codec frame; the others exactly.
            const auto middleFrame = static_cast<int64_t>(middle / 2);
            ASSERT_TRUE(decoder.Seek(middleFrame * 10'000'000 / kRate + 1)) << decoder.ErrorText();
            ASSERT_TRUE(decoder.IsOpen());
            const std::vector<int16_t> piece = media_test::ReadFrames(decoder, 4096);
            ASSERT_EQ(piece.size(), 8192u);
            const size_t at = static_cast<size_t>(decoder.PositionFrames() - 4096) * 2;
            EXPECT_LE(media_test::RelativeError(piece.data(), &original[at], piece.size()),
                      name == "noise.mp3" ? 0.01 : 0.0);
            // And the whole file once more, from the start.
            ASSERT_TRUE(decoder.Seek(0));
            EXPECT_EQ(media_test::ReadAll(decoder), original);
            EXPECT_EQ(decoder.File()->Path(), path);
        }
    }
}

TEST_F(MediaFileTest, OpensOnlyRegularNonEmptyFilesAndReadsAtAnyOffset) {
    std::string error;
    EXPECT_EQ(MediaFile::Open(Path("missing.wav"), &error), nullptr);
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_EQ(MediaFile::Open(dir_.path().toStdString(), &error), nullptr);
    EXPECT_EQ(error, "Not a regular file");
    ASSERT_TRUE(media_test::WriteBytes(Path("empty.wav"), ""));
    EXPECT_EQ(MediaFile::Open(Path("empty.wav"), &error), nullptr);
    EXPECT_EQ(error, "The file is empty");

    ASSERT_TRUE(media_test::WriteBytes(Path("bytes.bin"), "0123456789"));
    const std::shared_ptr<MediaFile> file = MediaFile::Open(Path("bytes.bin"), &error);
    ASSERT_NE(file, nullptr) << error;
    EXPECT_EQ(file->Size(), 10);
    char buffer[8] = {};
    EXPECT_EQ(file->ReadAt(buffer, 4, 6), 4);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(file->ReadAt(buffer, 8, 10), 0) << "the end";
    // Reads at their own offsets do not disturb each other.
    EXPECT_EQ(file->ReadAt(buffer, 3, 1), 3);
    EXPECT_EQ(std::string(buffer, 3), "123");
}
