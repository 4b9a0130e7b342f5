#include "platform/MessagePort.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace platform {
namespace {

// The ports whose handlers run on this thread.
thread_local std::vector<MessagePort*> portsOfThisThread;

// How many dispatching waits run on this thread.
thread_local int dispatchDepth = 0;

std::atomic<bool> waitsAbandoned{false};

constexpr auto kWaitStep = std::chrono::milliseconds(1);

// Stands in linkedSlots_ once the port is closed; never dereferenced.
char closedMarkByte;
MessagePort::SenderSlot* ClosedMark() {
    return reinterpret_cast<MessagePort::SenderSlot*>(&closedMarkByte);
}

class DepthGuard {
public:
    DepthGuard() { ++dispatchDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
    ~DepthGuard() { --dispatchDepth; }
};

// One step of a wait: timers, socket notifiers (the ports' wake-ups among
// them) and posted events, but no user input, which Qt keeps for later.
void DispatchStep() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    MessagePort::DrainThisThread();
}

}  // namespace

void MessagePort::DrainThisThread() {
    // A handler may close or add ports; work on a copy and re-check each.
    const auto ports = portsOfThisThread;
    for (MessagePort* port : ports)
        if (std::find(portsOfThisThread.begin(), portsOfThisThread.end(), port) != portsOfThisThread.end())
            port->Drain();
}

struct MessagePort::Reply {
    Event done{Event::Reset::Manual, false};
    intptr_t result = 0;  // written before done is set
};

MessagePort::MessagePort(QObject* parent) : QObject(parent), ownerThread_(std::this_thread::get_id()) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ >= 0) {
        notifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            uint64_t count = 0;
            [[maybe_unused]] const auto n = read(wakeFd_, &count, sizeof count);
            Drain();
        });
    }
    portsOfThisThread.push_back(this);
}

MessagePort::~MessagePort() {
    Close();
    std::erase(portsOfThisThread, this);
    delete notifier_;
    if (wakeFd_ >= 0) close(wakeFd_);
}

void MessagePort::SetHandler(Handler handler) {
    handler_ = std::move(handler);
}

void MessagePort::Close() {
    std::deque<Pending> dropped;
    {
        std::lock_guard lock(mutex_);
        closed_.store(true, std::memory_order_release);
        dropped.swap(queue_);
    }
    for (auto& pending : dropped)
        if (pending.reply) pending.reply->done.Set();
    // A sender that links its slot from now on finds the mark and returns.
    SenderSlot* linked = linkedSlots_.exchange(ClosedMark(), std::memory_order_acq_rel);
    if (linked != ClosedMark()) Release(linked);
    Release(std::exchange(ready_, nullptr));
}

void MessagePort::Release(SenderSlot* chain) {
    while (chain) {
        SenderSlot* slot = chain;
        chain = slot->next_;  // before Set: the sender may reuse the slot at once
        slot->result_ = 0;
        slot->done_.Set();
    }
}

void MessagePort::TakeLinkedSlots() {
    SenderSlot* linked = linkedSlots_.load(std::memory_order_acquire);
    do {
        if (linked == nullptr || linked == ClosedMark()) return;
    } while (!linkedSlots_.compare_exchange_weak(linked, nullptr, std::memory_order_acquire));
    // Each sender has one message at most; insert them by their sequence.
    while (linked) {
        SenderSlot* slot = linked;
        linked = slot->next_;
        SenderSlot** place = &ready_;
        while (*place && (*place)->sequence_ < slot->sequence_) place = &(*place)->next_;
        slot->next_ = *place;
        *place = slot;
    }
}

bool MessagePort::OnOwnerThread() const {
    return QThread::currentThread() == thread();
}

intptr_t MessagePort::Dispatch(Message message, const Payload& payload) {
    if (IsClosed() || !handler_) return 0;
    return handler_(message, payload);
}

bool MessagePort::Enqueue(Pending pending) {
    {
        std::lock_guard lock(mutex_);
        if (closed_.load(std::memory_order_relaxed)) return false;
        pending.sequence = nextSequence_.fetch_add(1, std::memory_order_relaxed);
        queue_.push_back(std::move(pending));
    }
    Wake();
    return true;
}

void MessagePort::Wake() {
    const uint64_t one = 1;
    // Without an eventfd (out of descriptors) waits still drain the queue.
    if (wakeFd_ >= 0) {
        [[maybe_unused]] const auto n = write(wakeFd_, &one, sizeof one);
    }
}

void MessagePort::Drain() {
    // One wake-up may find several messages, or none when a nested drain got
    // there first; messages are handled one at a time in the order they came.
    // Each is taken off before its handler runs, which may drain again.
    for (;;) {
        // The queue first, then the slots: whatever a sender linked before
        // it queued the front message is then among the slots taken.
        std::optional<uint64_t> queued;
        {
            std::lock_guard lock(mutex_);
            if (!queue_.empty()) queued = queue_.front().sequence;
        }
        TakeLinkedSlots();
        if (ready_ && (!queued || ready_->sequence_ < *queued)) {
            SenderSlot* slot = std::exchange(ready_, ready_->next_);
            slot->result_ = Dispatch(slot->message_, slot->payload_);
            slot->done_.Set();  // the last touch: the sender owns the slot again
            continue;
        }
        if (!queued) return;
        Pending pending{};
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) continue;  // closed by now
            pending = std::move(queue_.front());
            queue_.pop_front();
        }
        const intptr_t result = Dispatch(pending.message, pending.payload);
        if (pending.reply) {
            pending.reply->result = result;
            pending.reply->done.Set();
        }
    }
}

intptr_t MessagePort::Send(Message message, Payload payload) {
    if (IsClosed()) return 0;
    if (OnOwnerThread()) return Dispatch(message, payload);
    auto reply = std::make_shared<Reply>();
    if (!Enqueue({message, std::move(payload), reply, 0})) return 0;
    reply->done.Wait();
    return reply->result;
}

intptr_t MessagePort::Send(SenderSlot& slot, Message message, const Payload& payload) {
    if (IsClosed()) return 0;
    // Compared by std::thread id: asking Qt for the current thread could
    // allocate on a thread Qt has not seen before.
    if (std::this_thread::get_id() == ownerThread_) return Dispatch(message, payload);
    slot.message_ = message;
    slot.payload_ = payload;
    slot.result_ = 0;
    slot.sequence_ = nextSequence_.fetch_add(1, std::memory_order_relaxed);
    SenderSlot* linked = linkedSlots_.load(std::memory_order_relaxed);
    do {
        if (linked == ClosedMark()) return 0;
        slot.next_ = linked;
    } while (!linkedSlots_.compare_exchange_weak(linked, &slot, std::memory_order_release,
                                                 std::memory_order_relaxed));
    slot.waiting_.store(true, std::memory_order_release);
    Wake();
    slot.done_.Wait();
    slot.waiting_.store(false, std::memory_order_release);
    return slot.result_;
}

bool MessagePort::Post(Message message, Payload payload) {
    if (IsClosed()) return false;
    return Enqueue({message, std::move(payload), nullptr, 0});
}

void WaitDispatching(Event& event) {
    const DepthGuard depth;
    while (!event.WaitFor(kWaitStep)) DispatchStep();
}

bool WaitDispatchingUntil(Event& event, const std::function<bool()>& giveUp) {
    const DepthGuard depth;
    for (;;) {
        if (event.WaitFor(WaitsAbandoned() ? std::chrono::milliseconds(0) : kWaitStep)) return true;
        if (WaitsAbandoned() || (giveUp && giveUp())) return false;
        DispatchStep();
    }
}

void SleepDispatching(std::chrono::microseconds duration) {
    const DepthGuard depth;
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (!WaitsAbandoned()) {
        DispatchStep();
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(deadline - now, kWaitStep));
    }
}

int DispatchDepth() {
    return dispatchDepth;
}

void AbandonWaits(bool abandon) {
    waitsAbandoned.store(abandon, std::memory_order_release);
}

bool WaitsAbandoned() {
    return waitsAbandoned.load(std::memory_order_acquire);
}

}  // namespace platform
