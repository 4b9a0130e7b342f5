#pragma once

#include <QObject>

class QSocketNotifier;

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/Messages.h"

namespace platform {

class Event;

// The main window's message path. It lives on the user-interface thread; its
// handler runs there and nowhere else.
//  - Send from a worker thread blocks until the handler has run; Send on the
//    user-interface thread calls the handler directly.
//  - Post queues the message and returns at once.
// Messages wait in a queue of our own, under our own lock, and an eventfd
// wakes the owner thread's event loop: no message data and no heap object
// crosses Qt's event queue, so every hand-over between threads is one that a
// thread checker can see. Once closed, Send and Post do nothing and any blocked
// sender is released, so no worker can block on a window that is gone.
class MessagePort : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<intptr_t(Message message, uintptr_t wParam, intptr_t lParam)>;

    explicit MessagePort(QObject* parent = nullptr);
    ~MessagePort() override;

    // UI thread only.
    void SetHandler(Handler handler);
    void Close();

    // Any thread.
    intptr_t Send(Message message, uintptr_t wParam = 0, intptr_t lParam = 0);
    bool Post(Message message, uintptr_t wParam = 0, intptr_t lParam = 0);
    bool IsClosed() const { return closed_.load(std::memory_order_acquire); }
    bool OnOwnerThread() const;

    // Handles every message waiting for the ports whose handlers run on the
    // calling thread. Waits on that thread call it, so they serve workers even
    // inside a handler, where the event loop does not re-enter a port.
    static void DrainThisThread();

private:
    struct Reply;
    struct Pending {
        Message message;
        uintptr_t wParam;
        intptr_t lParam;
        std::shared_ptr<Reply> reply;  // set for Send, empty for Post
    };

    bool Enqueue(Pending pending);
    void Drain();
    void Wake();

    intptr_t Dispatch(Message message, uintptr_t wParam, intptr_t lParam);

    Handler handler_;
    std::atomic<bool> closed_{false};
    std::mutex mutex_;
    std::deque<Pending> queue_;
    int wakeFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

// Waits for an event on the user-interface thread in 1 ms steps, dispatching
// the thread's pending messages between steps, so that a worker blocked in a
// Send to the main window is served while we wait for it.
void WaitDispatching(Event& event);

// Sleeps at least the given time while dispatching messages (the fades'
// steps and similar short pauses on the user-interface thread).
void SleepDispatching(std::chrono::microseconds duration);

}  // namespace platform
