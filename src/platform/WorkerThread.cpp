#include "platform/WorkerThread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {
namespace {

// Nice values for the ordinary classes; the two highest ask for SCHED_FIFO
// first and fall back to a negative nice value.
int NiceFor(ThreadPriority priority) {
    switch (priority) {
        case ThreadPriority::BelowNormal:
            return 5;
        case ThreadPriority::Normal:
            return 0;
        case ThreadPriority::AboveNormal:
            return -5;
        case ThreadPriority::Highest:
            return -10;
        case ThreadPriority::TimeCritical:
            return -15;
    }
    return 0;
}

int RealtimePriorityFor(ThreadPriority priority) {
    switch (priority) {
        case ThreadPriority::Highest:
            return 10;
        case ThreadPriority::TimeCritical:
            return 20;
        default:
            return 0;
    }
}

void Apply(pid_t tid, pthread_t handle, ThreadPriority priority) {
    const int rt = RealtimePriorityFor(priority);
    sched_param param{};
    if (rt > 0) {
        param.sched_priority = rt;
        if (pthread_setschedparam(handle, SCHED_FIFO, &param) == 0) return;
    } else {
        param.sched_priority = 0;
        pthread_setschedparam(handle, SCHED_OTHER, &param);
    }
    // Per-thread nice value on Linux; refused without privileges for values below 0.
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceFor(priority)) != 0 && NiceFor(priority) < 0)
        setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 0);
}

}  // namespace

void SetCurrentThreadPriority(ThreadPriority priority) {
    Apply(gettid(), pthread_self(), priority);
}

WorkerThread::~WorkerThread() {
    Join();
}

void WorkerThread::Start(ThreadPriority priority, std::function<void()> body) {
    Join();
    thread_ = std::thread([this, priority, body = std::move(body)] {
        tid_.store(gettid(), std::memory_order_release);
        SetCurrentThreadPriority(priority);
        body();
        tid_.store(0, std::memory_order_release);
    });
}

void WorkerThread::Join() {
    if (thread_.joinable()) thread_.join();
}

void WorkerThread::SetPriority(ThreadPriority priority) {
    const pid_t tid = tid_.load(std::memory_order_acquire);
    if (tid != 0 && thread_.joinable()) Apply(tid, thread_.native_handle(), priority);
}

}  // namespace platform
