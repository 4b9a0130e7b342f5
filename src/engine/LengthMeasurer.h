#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/WorkerThread.h"

namespace platform {
class MessagePort;
namespace media {
class MediaFile;
}
}  // namespace platform

namespace engine {

// Measures the exact length of the decks' files on a thread of its own: a
// header's length can be far off (a VBR MP3 without a seek table, a truncated
// file), and a deck must show, and seek in, the length that plays. Each result
// is announced with a posted LengthMeasured message carrying the deck.
class LengthMeasurer {
public:
    struct Result {
        int deck = 0;
        uint64_t generation = 0;  // the deck's load it belongs to
        std::string path;
        double seconds = 0.0;
    };

    explicit LengthMeasurer(platform::MessagePort& mainWindow);
    ~LengthMeasurer();
    LengthMeasurer(const LengthMeasurer&) = delete;
    LengthMeasurer& operator=(const LengthMeasurer&) = delete;

    // Measures an opened file, or opens `path` first when there is none.
    // UI thread.
    void Measure(int deck, uint64_t generation, std::shared_ptr<platform::media::MediaFile> file,
                 const std::string& path);
    // Drops the deck's waiting requests and stops the one under way if it is
    // the deck's. UI thread.
    void Forget(int deck);
    // The results so far, taken. UI thread.
    std::vector<Result> TakeResults();
    // Ends the thread; no more results come.
    void Stop();

private:
    struct Request {
        int deck;
        uint64_t generation;
        std::shared_ptr<platform::media::MediaFile> file;
        std::string path;
    };

    void Run();

    platform::MessagePort& mainWindow_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Request> requests_;
    std::vector<Result> results_;
    bool stopping_ = false;
    int busyDeck_ = -1;  // the deck of the measurement under way
    std::atomic<bool> cancel_{false};
    platform::WorkerThread thread_;
    bool started_ = false;
};

}  // namespace engine
