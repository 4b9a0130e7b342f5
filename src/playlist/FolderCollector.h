#pragma once

#include <QStringList>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "playlist/PlayListPanel.h"

namespace playlist {

// Lists the music files of the folders the user adds on a thread of its own,
// one folder after another, so that a large tree or a slow disk never holds
// up the window. The owner polls: each folder's files reach `done` on the
// owner's thread, in the order the folders were asked for.
class FolderCollector final {
public:
    using Done = std::function<void(const QStringList& files, DeckChoice choice)>;

    explicit FolderCollector(Done done);
    FolderCollector(const FolderCollector&) = delete;
    FolderCollector& operator=(const FolderCollector&) = delete;
    // Stops a listing under way and waits for its thread; its files are dropped.
    ~FolderCollector();

    void Collect(const QString& folder, DeckChoice choice);
    // Hands a finished listing to `done` and starts the next folder.
    void Poll();
    // A folder is being listed or waits to be.
    bool Busy() const { return busy_; }

private:
    struct Request {
        QString folder;
        DeckChoice choice;
    };
    struct Listed {
        QStringList files;
        DeckChoice choice;
    };
    void StartNext();

    Done done_;
    std::deque<Request> waiting_;
    bool busy_ = false;
    std::atomic<bool> cancel_{false};
    std::mutex listedLock_;
    std::optional<Listed> listed_;  // from the listing thread, under the lock
    std::thread thread_;
};

}  // namespace playlist
