#include "engine/CZelFileSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/MessagePort.h"
#include "platform/media/AudioDecoder.h"
#include "platform/media/MediaFile.h"

namespace engine {

namespace {
constexpr int kMonoBytesPerRead = kBlockBytes / 2;
}

CZelFileSource::CZelFileSource(platform::MessagePort* mainWindow)
    : mainWindow_(mainWindow),
      decoder_(std::make_unique<platform::media::AudioDecoder>()),
      sampleBuffer_(std::make_unique<int16_t[]>(kBlockSamples)) {
    std::memset(sampleBuffer_.get(), 0, kBlockBytes);
}

CZelFileSource::~CZelFileSource() {
    Close();
}

bool CZelFileSource::Open(const std::string& path) {
    Close();
    bytePosition_.store(0);
    std::string error = "no file given";
    auto file = path.empty() ? nullptr : platform::media::MediaFile::Open(path, &error);
    if (!file) {
        std::lock_guard lock(textMutex_);
        lastError_ = error;
        return false;
    }
    return OpenFile(std::move(file), 0);
}

bool CZelFileSource::Reopen(const std::string& path) {
    std::shared_ptr<platform::media::MediaFile> file;
    {
        std::lock_guard lock(textMutex_);
        for (const auto& recent : recentFiles_)
            if (recent->Path() == path) file = recent;
    }
    Close();
    bytePosition_.store(0);
    return file && OpenFile(std::move(file), 0);
}

bool CZelFileSource::OpenFile(std::shared_ptr<platform::media::MediaFile> file, int outputRate) {
    if (!decoder_->Open(file, outputRate)) {
        std::lock_guard lock(textMutex_);
        lastError_ = decoder_->ErrorText();
        return false;
    }
    const auto format = decoder_->Format();
    bitsPerSample_.store(format.bitsPerSample);
    channels_.store(format.channels);
    sampleRate_.store(format.sampleRate);
    bytesPerRead_.store(format.channels == 1 ? kMonoBytesPerRead : kBlockBytes);
    duration100ns_.store(decoder_->Duration100ns());
    measured100ns_.store(0);
    lengthWholeSeconds_.store(static_cast<int>(decoder_->Duration100ns() / 10'000'000));
    {
        std::lock_guard lock(textMutex_);
        path_ = file->Path();
        title_ = decoder_->Title();
        file_ = file;
        lastError_.clear();
        std::erase(recentFiles_, file);
        recentFiles_.push_back(std::move(file));
        constexpr size_t kRecentFiles = 4;
        if (recentFiles_.size() > kRecentFiles) recentFiles_.erase(recentFiles_.begin());
    }
    openCount_.fetch_add(1, std::memory_order_acq_rel);
    open_.exchange(1, std::memory_order_acq_rel);
    return true;
}

std::shared_ptr<platform::media::MediaFile> CZelFileSource::File() const {
    std::lock_guard lock(textMutex_);
    return file_;
}

void CZelFileSource::SetLengthSeconds(const std::string& path, double seconds) {
    if (seconds <= 0.0 || Path() != path) return;
    const auto length = static_cast<int64_t>(seconds * 1e7 + 0.5);
    duration100ns_.store(length);
    measured100ns_.store(length);
    lengthWholeSeconds_.store(static_cast<int>(length / 10'000'000));
}

int CZelFileSource::ReadFrames(int16_t* out, int frames, int& sourceBytes) {
    const int channels = Channels();
    const int wanted = frames * channels * 2;
    const int got = static_cast<int>(decoder_->Read(reinterpret_cast<uint8_t*>(sampleBuffer_.get()), wanted));
    sourceBytes = got;
    const int gotFrames = got / (channels * 2);
    if (channels == 1) {
        // Mono is widened to two equal channels.
        for (int i = 0; i < gotFrames; ++i) out[2 * i] = out[2 * i + 1] = sampleBuffer_[i];
    } else {
        std::memcpy(out, sampleBuffer_.get(), static_cast<size_t>(gotFrames) * kBytesPerFrame);
    }
    return gotFrames;
}

long CZelFileSource::ReadBlock(int deck, SampleBlock& destination, int& bytes, bool& endOfFile) {
    bytes = 0;
    endOfFile = false;
    if (!IsOpen()) return kUnexpected;

    int sourceBytes = 0;
    const int frames = ReadFrames(destination.samples, kBlockFrames, sourceBytes);
    endOfFile = frames < kBlockFrames;
    if (endOfFile)
        std::memset(destination.samples + frames * kChannels, 0,
                    static_cast<size_t>(kBlockFrames - frames) * kBytesPerFrame);
    bytes = sourceBytes;
    bytePosition_.fetch_add(sourceBytes);

    if (endOfFile) {
        // Only a next file queued in answer to this message continues the block.
        SetContinue(false);
        TakeQueuedNext();
        if (mainWindow_) mainWindow_->Send(platform::Message::EndOfTrack, platform::DeckArgs{deck});
        // Opened here, on the reader's own thread, so the window's handling
        // never waits for a thread that is waiting for it.
        // At the rate the deck's buffers run at, so the next file keeps its pitch.
        if (const std::string next = TakeQueuedNext(); !next.empty()) {
            const int runningRate = SampleRate();
            Close();
            auto file = platform::media::MediaFile::Open(next);
            if (file && OpenFile(std::move(file), runningRate)) SetContinue(true);
        }
        if (Continues() && IsOpen()) {
            // The block runs on into the next file without a gap; that file's
            // stream goes on right after the frames taken here.
            endOfFile = false;
            int nextBytes = 0;
            ReadFrames(destination.samples + frames * kChannels, kBlockFrames - frames, nextBytes);
            bytePosition_.store(nextBytes);
        }
    }
    if (endOfFile) Close();
    return kOk;
}

void CZelFileSource::SeekFraction(double fraction) {
    if (!IsOpen()) return;
    fraction = std::clamp(fraction, 0.0, 1.0);
    // The reader is stopped while the deck seeks: the decoder is ours now.
    if (const int64_t measured = measured100ns_.load(); measured > 0) decoder_->SetDuration100ns(measured);
    const auto target =
        static_cast<int64_t>(std::trunc(static_cast<double>(duration100ns_.load()) * fraction));
    decoder_->Seek(target);
    bytePosition_.store(decoder_->PositionFrames() * Channels() * (BitsPerSample() / 8));
}

void CZelFileSource::Close() {
    decoder_->Close();
    std::memset(sampleBuffer_.get(), 0, kBlockBytes);
    open_.exchange(0, std::memory_order_acq_rel);
    continue_.exchange(0, std::memory_order_acq_rel);
    std::lock_guard lock(textMutex_);
    path_.clear();
    title_.clear();
    file_.reset();
}

void CZelFileSource::QueueNext(const std::string& path) {
    std::lock_guard lock(textMutex_);
    queuedNext_ = path;
}

std::string CZelFileSource::TakeQueuedNext() {
    std::lock_guard lock(textMutex_);
    return std::exchange(queuedNext_, {});
}

std::string CZelFileSource::Title() const {
    std::lock_guard lock(textMutex_);
    return title_;
}

std::string CZelFileSource::Path() const {
    std::lock_guard lock(textMutex_);
    return path_;
}

std::string CZelFileSource::LastError() const {
    std::lock_guard lock(textMutex_);
    return lastError_;
}

double CZelFileSource::LengthSeconds() const {
    return IsOpen() ? static_cast<double>(duration100ns_.load()) * 1e-7 : 0.0;
}

double CZelFileSource::PositionSeconds() const {
    // After the file's end closed the source, the position stays at the end,
    // so the time shown while the last blocks play is still right.
    const double bytesPerSecond = (BitsPerSample() / 8.0) * SampleRate() * Channels();
    return bytesPerSecond > 0 ? static_cast<double>(bytePosition_.load()) / bytesPerSecond : 0.0;
}

}  // namespace engine
