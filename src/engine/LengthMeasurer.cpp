#include "engine/LengthMeasurer.h"

#include <algorithm>
#include <utility>

#include "platform/MessagePort.h"
#include "platform/media/MeasuredLength.h"
#include "platform/media/MediaFile.h"

namespace engine {

LengthMeasurer::LengthMeasurer(platform::MessagePort& mainWindow) : mainWindow_(mainWindow) {}

LengthMeasurer::~LengthMeasurer() {
    Stop();
}

void LengthMeasurer::Measure(int deck, uint64_t generation, std::shared_ptr<platform::media::MediaFile> file,
                             const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        requests_.push_back({deck, generation, std::move(file), path});
        if (!started_) {
            started_ = true;
            // Below the decks' readers: a refill always comes first.
            thread_.Start(platform::ThreadPriority::BelowNormal, [this] { Run(); });
        }
    }
    wake_.notify_one();
}

void LengthMeasurer::Forget(int deck) {
    std::lock_guard lock(mutex_);
    std::erase_if(requests_, [deck](const Request& r) { return r.deck == deck; });
    std::erase_if(results_, [deck](const Result& r) { return r.deck == deck; });
    if (busyDeck_ == deck) cancel_.store(true);
}

std::vector<LengthMeasurer::Result> LengthMeasurer::TakeResults() {
    std::lock_guard lock(mutex_);
    return std::exchange(results_, {});
}

void LengthMeasurer::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        requests_.clear();
        cancel_.store(true);
    }
    wake_.notify_one();
    thread_.Join();
}

void LengthMeasurer::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || !requests_.empty(); });
        if (stopping_) return;
        Request request = std::move(requests_.front());
        requests_.pop_front();
        busyDeck_ = request.deck;
        cancel_.store(false);
        lock.unlock();

        std::shared_ptr<platform::media::MediaFile> file = request.file;
        if (!file) file = platform::media::MediaFile::Open(request.path);
        platform::media::MeasuredLength length;
        if (file) length = platform::media::MeasureLength(file, &cancel_);

        lock.lock();
        busyDeck_ = -1;
        if (length.ok && !cancel_.load() && !stopping_) {
            results_.push_back({request.deck, request.generation, request.path, length.seconds});
            lock.unlock();
            // Posted, never sent: the window may be waiting for something else.
            mainWindow_.Post(platform::Message::LengthMeasured, platform::DeckArgs{request.deck});
            lock.lock();
        }
    }
}

}  // namespace engine
