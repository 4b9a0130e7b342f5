#pragma once

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/Messages.h"

namespace platform {

class Event;

// The main window's message path. It lives on the user-interface thread; its
// handler runs there and nowhere else.
//  - Send from a worker thread blocks until the handler has run; Send on the
//    user-interface thread calls the handler directly.
//  - Post queues the message and returns at once.
// Once closed, Send and Post do nothing, so no worker can block on a window
// that is gone.
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

private:
    intptr_t Dispatch(Message message, uintptr_t wParam, intptr_t lParam);

    Handler handler_;
    std::atomic<bool> closed_{false};
};

// Waits for an event on the user-interface thread in 1 ms steps, dispatching
// the thread's pending messages between steps, so that a worker blocked in a
// Send to the main window is served while we wait for it.
void WaitDispatching(Event& event);

// Sleeps at least the given time while dispatching messages (the fades'
// steps and similar short pauses on the user-interface thread).
void SleepDispatching(std::chrono::microseconds duration);

}  // namespace platform
