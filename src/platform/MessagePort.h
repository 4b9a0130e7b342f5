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
#include <thread>

#include "platform/Event.h"
#include "platform/Messages.h"

namespace platform {

// The main window's message path. It lives on the user-interface thread; its
// handler runs there and nowhere else.
//  - Send from a worker thread blocks until the handler has run; Send on the
//    user-interface thread calls the handler directly.
//  - Post queues the message and returns at once.
//  - Send through a SenderSlot is Send for a worker that sends in a loop (the
//    play notify threads, once per sound block): it neither allocates nor
//    takes a lock.
// Messages wait in a queue of our own, under our own lock, or in their
// senders' slots, and an eventfd wakes the owner thread's event loop: no
// message data and no heap object crosses Qt's event queue, so every hand-over
// between threads is one that a thread checker can see. Messages are handled
// in the order they were sent, whichever way. Once closed, Send and Post do
// nothing and any blocked sender is released, so no worker can block on a
// window that is gone.
class MessagePort : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<intptr_t(Message message, const Payload& payload)>;

    // A worker's own message and reply, made once before its loop and used
    // for one Send at a time. It must outlive the Sends made through it.
    class SenderSlot {
    public:
        SenderSlot() = default;
        SenderSlot(const SenderSlot&) = delete;
        SenderSlot& operator=(const SenderSlot&) = delete;

        // True while a Send through the slot waits for its reply.
        bool Waiting() const { return waiting_.load(std::memory_order_acquire); }

    private:
        friend class MessagePort;

        Event done_{Event::Reset::Automatic, false};
        std::atomic<bool> waiting_{false};
        // Written by the sender before it links the slot, read by the owner
        // thread after taking it; `result` the other way round, before done_.
        Message message_{};
        Payload payload_;
        intptr_t result_ = 0;
        uint64_t sequence_ = 0;
        SenderSlot* next_ = nullptr;
    };

    explicit MessagePort(QObject* parent = nullptr);
    ~MessagePort() override;

    // UI thread only.
    void SetHandler(Handler handler);
    void Close();

    // Any thread.
    intptr_t Send(Message message, Payload payload = {});
    // Any thread; `slot` is the calling thread's own. No lock, and no
    // allocation for a payload that holds no string.
    intptr_t Send(SenderSlot& slot, Message message, const Payload& payload = {});
    bool Post(Message message, Payload payload = {});
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
        Payload payload;
        std::shared_ptr<Reply> reply;  // set for Send, empty for Post
        uint64_t sequence;
    };

    bool Enqueue(Pending pending);
    void Drain();
    void Wake();
    // Moves the slots senders have linked since the last call into ready_.
    void TakeLinkedSlots();
    // Answers every slot of the chain with 0.
    static void Release(SenderSlot* chain);

    intptr_t Dispatch(Message message, const Payload& payload);

    Handler handler_;
    const std::thread::id ownerThread_;
    std::atomic<bool> closed_{false};
    // Orders the queued messages and the slots' messages as they were sent.
    std::atomic<uint64_t> nextSequence_{0};
    std::mutex mutex_;
    std::deque<Pending> queue_;
    // Slots with a message, last linked first; ClosedMark() once closed.
    std::atomic<SenderSlot*> linkedSlots_{nullptr};
    // Taken slots in send order. Owner thread only.
    SenderSlot* ready_ = nullptr;
    int wakeFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

// Waits for an event on the user-interface thread in 1 ms steps, dispatching
// the thread's pending messages between steps, so that a worker blocked in a
// Send to the main window is served while we wait for it. These waits serve
// timers, socket notifiers and the ports but leave user input (clicks, keys)
// for later, so that a click during a fade is handled after the action in
// progress, never inside it.
void WaitDispatching(Event& event);

// Like WaitDispatching, but gives up and returns false as soon as `giveUp()`
// holds (it is asked at every step) or the waits are abandoned, so that no
// wait is endless when what it waits for can no longer come. True: the event.
bool WaitDispatchingUntil(Event& event, const std::function<bool()>& giveUp);

// Sleeps at least the given time while dispatching messages (the fades'
// steps and similar short pauses on the user-interface thread).
void SleepDispatching(std::chrono::microseconds duration);

// How many of the waits above are running on the calling thread: a window
// defers a device change or a close while one runs.
int DispatchDepth();

// While set (the program is closing), SleepDispatching returns at once and
// WaitDispatchingUntil returns false at once unless its event is already set.
// Any thread.
void AbandonWaits(bool abandon);
bool WaitsAbandoned();

}  // namespace platform
