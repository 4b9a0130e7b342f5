#include "platform/MessagePort.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/Event.h"

namespace platform {
namespace {

// The ports whose handlers run on this thread.
thread_local std::vector<MessagePort*> portsOfThisThread;

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

MessagePort::MessagePort(QObject* parent) : QObject(parent) {
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

void MessagePort::SetHandler(Handler handler) { handler_ = std::move(handler); }

void MessagePort::Close() {
    std::deque<Pending> dropped;
    {
        std::lock_guard lock(mutex_);
        closed_.store(true, std::memory_order_release);
        dropped.swap(queue_);
    }
    for (auto& pending : dropped)
        if (pending.reply) pending.reply->done.Set();
}

bool MessagePort::OnOwnerThread() const { return QThread::currentThread() == thread(); }

intptr_t MessagePort::Dispatch(Message message, uintptr_t wParam, intptr_t lParam) {
    if (IsClosed() || !handler_) return 0;
    return handler_(message, wParam, lParam);
}

bool MessagePort::Enqueue(Pending pending) {
    {
        std::lock_guard lock(mutex_);
        if (closed_.load(std::memory_order_relaxed)) return false;
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
    for (;;) {
        Pending pending{};
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) return;
            pending = std::move(queue_.front());
            queue_.pop_front();
        }
        const intptr_t result = Dispatch(pending.message, pending.wParam, pending.lParam);
        if (pending.reply) {
            pending.reply->result = result;
            pending.reply->done.Set();
        }
    }
}

intptr_t MessagePort::Send(Message message, uintptr_t wParam, intptr_t lParam) {
    if (IsClosed()) return 0;
    if (OnOwnerThread()) return Dispatch(message, wParam, lParam);
    auto reply = std::make_shared<Reply>();
    if (!Enqueue({message, wParam, lParam, reply})) return 0;
    reply->done.Wait();
    return reply->result;
}

bool MessagePort::Post(Message message, uintptr_t wParam, intptr_t lParam) {
    if (IsClosed()) return false;
    return Enqueue({message, wParam, lParam, nullptr});
}

void WaitDispatching(Event& event) {
    while (!event.WaitFor(std::chrono::milliseconds(1))) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        MessagePort::DrainThisThread();
    }
}

void SleepDispatching(std::chrono::microseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        MessagePort::DrainThisThread();
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(deadline - now,
                                                                                  std::chrono::milliseconds(1)));
    }
}

}  // namespace platform
