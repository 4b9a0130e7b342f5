#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/SampleBlock.h"

namespace platform {
class MessagePort;
namespace media {
class AudioDecoder;
class MediaFile;
}  // namespace media
}  // namespace platform

namespace engine {

// Status codes of block reads, as the rest of the engine knows them.
constexpr long kOk = 0;
constexpr long kUnexpected = static_cast<long>(0x8000FFFFu);

// Decodes a music file into the deck's 16-bit stereo blocks, one block per
// request, and at the end of the file asks the main window whether to go on
// into the next file without a gap.
//
// Threads: Open runs on an open thread, ReadBlock on the deck's reader thread,
// the rest on the user-interface thread. The deck never lets two of them use
// the source at once: it stops the reader before it opens, and a next file is
// opened only while the reader waits in its end-of-file message.
class CZelFileSource {
public:
    // Messages (the end of a file) go to the main window through the port; a
    // source used only to measure tracks has none.
    explicit CZelFileSource(platform::MessagePort* mainWindow = nullptr);
    ~CZelFileSource();
    CZelFileSource(const CZelFileSource&) = delete;
    CZelFileSource& operator=(const CZelFileSource&) = delete;

    bool Open(const std::string& path);
    // Opens again a file this source had open, from the handle it kept: a
    // file renamed or deleted since still plays. False when it never had it.
    bool Reopen(const std::string& path);
    // The open file, kept open; null when closed.
    std::shared_ptr<platform::media::MediaFile> File() const;
    // Fills one block. bytes is what the file gave, in its own format (half a
    // block's worth for mono); the rest of a last block is silence.
    long ReadBlock(int deck, SampleBlock& destination, int& bytes, bool& endOfFile);
    void SeekFraction(double fraction);
    void Close();

    std::string Title() const;
    // The length the file states, until the owner tells the true one.
    double LengthSeconds() const;
    // The measured length of the file at `path`, when that is the open one:
    // what the deck shows and what seeks divide. Any thread.
    void SetLengthSeconds(const std::string& path, double seconds);
    double PositionSeconds() const;
    int SampleRate() const { return sampleRate_.load(std::memory_order_relaxed); }
    int BitsPerSample() const { return bitsPerSample_.load(std::memory_order_relaxed); }
    int Channels() const { return channels_.load(std::memory_order_relaxed); }
    // 5,880 for a mono file, else 11,760: the file bytes that make one block.
    int BytesPerRead() const { return bytesPerRead_.load(std::memory_order_relaxed); }
    bool IsOpen() const { return open_.load(std::memory_order_acquire) != 0; }
    void SetContinue(bool on) { continue_.exchange(on ? 1 : 0, std::memory_order_acq_rel); }
    // The file to go on into when the open one ends; the reader opens it
    // right after its end-of-file message has been handled. UI thread.
    void QueueNext(const std::string& path);
    bool Continues() const { return continue_.load(std::memory_order_acquire) != 0; }
    std::string Path() const;
    // Counts successful opens, so a reader can tell that the source moved on
    // to another file without comparing paths.
    uint32_t OpenCount() const { return openCount_.load(std::memory_order_acquire); }
    // Why the last Open failed, for the curious; the user is never shown it.
    std::string LastError() const;

private:
    // Decodes up to `frames` frames from the open file into `out` as stereo,
    // returning the frames delivered and the bytes that took in the file's format.
    int ReadFrames(int16_t* out, int frames, int& sourceBytes);
    std::string TakeQueuedNext();
    // outputRate 0 keeps the file's own rate.
    bool OpenFile(std::shared_ptr<platform::media::MediaFile> file, int outputRate);

    platform::MessagePort* mainWindow_;
    std::unique_ptr<platform::media::AudioDecoder> decoder_;
    std::unique_ptr<int16_t[]> sampleBuffer_;  // one block as the decoder delivers it
    mutable std::mutex textMutex_;             // the reader may close while the window reads the title
    std::string path_;
    std::string title_;
    std::string queuedNext_;
    std::shared_ptr<platform::media::MediaFile> file_;
    // The files opened lately, newest last: a deck may seek back into the one
    // it plays after the source went on into the next.
    std::vector<std::shared_ptr<platform::media::MediaFile>> recentFiles_;
    std::string lastError_;
    std::atomic<int> bitsPerSample_{16};
    std::atomic<int> channels_{2};
    std::atomic<int> sampleRate_{kDefaultSampleRate};
    std::atomic<int> bytesPerRead_{0};
    std::atomic<int64_t> bytePosition_{0};
    std::atomic<int64_t> duration100ns_{0};
    std::atomic<int64_t> measured100ns_{0};  // 0: not measured; the decoder learns it at the next seek
    std::atomic<int> lengthWholeSeconds_{0};
    std::atomic<int> open_{0};
    std::atomic<int> continue_{0};
    std::atomic<uint32_t> openCount_{0};
};

}  // namespace engine
