#include "playlist/FolderCollector.h"

#include <utility>

#include "platform/WorkerThread.h"

namespace playlist {

FolderCollector::FolderCollector(Done done) : done_(std::move(done)) {}

FolderCollector::~FolderCollector() {
    cancel_ = true;
    if (thread_.joinable()) thread_.join();
}

void FolderCollector::Collect(const QString& folder, DeckChoice choice) {
    waiting_.push_back({folder, choice});
    if (!busy_) StartNext();
}

void FolderCollector::Poll() {
    std::optional<Listed> listed;
    {
        std::lock_guard lock(listedLock_);
        listed.swap(listed_);
    }
    if (!listed) return;
    done_(listed->files, listed->choice);
    StartNext();
}

void FolderCollector::StartNext() {
    if (thread_.joinable()) thread_.join();  // its listing is in already
    busy_ = !waiting_.empty();
    if (!busy_) return;
    Request request = std::move(waiting_.front());
    waiting_.pop_front();
    thread_ = std::thread([this, request = std::move(request)] {
        platform::SetCurrentThreadPriority(platform::ThreadPriority::BelowNormal);
        QStringList files = CollectMusicFiles(request.folder, &cancel_);
        std::lock_guard lock(listedLock_);
        listed_ = Listed{std::move(files), request.choice};
    });
}

}  // namespace playlist
