#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <thread>

namespace platform {

enum class ThreadPriority { BelowNormal, Normal, AboveNormal, Highest, TimeCritical };

// Asks for a priority for the calling thread. Best effort: the real-time
// classes need privileges most users lack, and a refusal is ignored.
void SetCurrentThreadPriority(ThreadPriority priority);

// A std::thread that remembers its kernel thread id, so that another thread
// can change its priority while it runs (the reader is lowered once its deck
// is primed).
class WorkerThread {
public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread();

    // Joins a previous run first. The body runs at the given priority.
    void Start(ThreadPriority priority, std::function<void()> body);
    void Join();
    // Any thread; ignored when the thread is not running.
    void SetPriority(ThreadPriority priority);

private:
    std::thread thread_;
    std::atomic<pid_t> tid_{0};
};

}  // namespace platform
