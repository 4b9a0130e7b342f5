#include "platform/MessagePort.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <thread>

#include "platform/Event.h"

namespace platform {

MessagePort::MessagePort(QObject* parent) : QObject(parent) {}

MessagePort::~MessagePort() { Close(); }

void MessagePort::SetHandler(Handler handler) { handler_ = std::move(handler); }

void MessagePort::Close() { closed_.store(true, std::memory_order_release); }

bool MessagePort::OnOwnerThread() const { return QThread::currentThread() == thread(); }

intptr_t MessagePort::Dispatch(Message message, uintptr_t wParam, intptr_t lParam) {
    if (IsClosed() || !handler_) return 0;
    return handler_(message, wParam, lParam);
}

intptr_t MessagePort::Send(Message message, uintptr_t wParam, intptr_t lParam) {
    if (IsClosed()) return 0;
    if (OnOwnerThread()) return Dispatch(message, wParam, lParam);
    intptr_t result = 0;
    // A queued call whose receiver is destroyed before it runs still releases
    // the blocked sender, so a closing window never strands a worker here.
    QMetaObject::invokeMethod(
        this, [this, message, wParam, lParam, &result] { result = Dispatch(message, wParam, lParam); },
        Qt::BlockingQueuedConnection);
    return result;
}

bool MessagePort::Post(Message message, uintptr_t wParam, intptr_t lParam) {
    if (IsClosed()) return false;
    return QMetaObject::invokeMethod(
        this, [this, message, wParam, lParam] { Dispatch(message, wParam, lParam); }, Qt::QueuedConnection);
}

void WaitDispatching(Event& event) {
    while (!event.WaitFor(std::chrono::milliseconds(1))) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void SleepDispatching(std::chrono::microseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(deadline - now,
                                                                                  std::chrono::milliseconds(1)));
    }
}

}  // namespace platform
