#include <gtest/gtest.h>

#include <QEventLoop>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Event.h"
#include "platform/MessagePort.h"
#include "platform/ThreadAllocationCount.h"

using platform::Event;
using platform::Message;
using platform::MessagePort;
using testing_support::ThreadAllocationCount;

namespace {

// Waits, without serving the port, until the worker's message is in its slot.
void UntilWaiting(const MessagePort::SenderSlot& slot) {
    while (!slot.Waiting()) std::this_thread::yield();
}

TEST(SenderSlot, SendsAllocateNothingAndReturnEachResult) {
    constexpr int kSends = 2000;
    MessagePort port;
    int handled = 0;
    int outOfOrder = 0;
    port.SetHandler([&](Message message, uintptr_t wParam, intptr_t lParam) -> intptr_t {
        if (message != Message::ForwardNotify || wParam != static_cast<uintptr_t>(handled)) ++outOfOrder;
        ++handled;
        return static_cast<intptr_t>(wParam) * 3 + lParam;
    });

    Event done(Event::Reset::Manual, false);
    long slotAllocations = -1;
    long ordinaryAllocations = -1;
    int wrongResults = 0;
    std::thread worker([&] {
        MessagePort::SenderSlot slot;  // made once, before the loop
        {
            const ThreadAllocationCount count;
            for (int i = 0; i < kSends; ++i)
                if (port.Send(slot, Message::ForwardNotify, static_cast<uintptr_t>(i), 7) != i * 3 + 7)
                    ++wrongResults;
            slotAllocations = count.Count();
        }
        // The ordinary Send, for comparison: the count does see allocations.
        {
            const ThreadAllocationCount count;
            for (int i = kSends; i < kSends + 10; ++i)
                port.Send(Message::ForwardNotify, static_cast<uintptr_t>(i), 7);
            ordinaryAllocations = count.Count();
        }
        done.Set();
    });
    platform::WaitDispatching(done);
    worker.join();

    EXPECT_EQ(slotAllocations, 0);
    EXPECT_GE(ordinaryAllocations, 10);
    EXPECT_EQ(wrongResults, 0);
    EXPECT_EQ(handled, kSends + 10);
    EXPECT_EQ(outOfOrder, 0);
}

TEST(SenderSlot, ClosingReleasesASenderWaitingInItsSlot) {
    MessagePort port;
    int handled = 0;
    port.SetHandler([&](Message, uintptr_t, intptr_t) -> intptr_t { return ++handled + 6; });
    MessagePort::SenderSlot slot;
    std::atomic<intptr_t> answer{-1};
    std::thread worker([&] { answer = port.Send(slot, Message::ForwardNotify, 1); });
    UntilWaiting(slot);  // nobody serves the port meanwhile

    port.Close();
    worker.join();
    EXPECT_EQ(answer.load(), 0) << "a closed window answers nothing, and the worker goes on";
    EXPECT_FALSE(slot.Waiting());

    // Sends after the close come back at once.
    std::thread late([&] { answer = port.Send(slot, Message::BackwardNotify, 2); });
    late.join();
    EXPECT_EQ(answer.load(), 0);
    MessagePort::DrainThisThread();
    EXPECT_EQ(handled, 0);
}

TEST(SenderSlot, AnyDrainServesSlotsInTheOrderMessagesWereSent) {
    MessagePort port;
    std::vector<std::pair<Message, uintptr_t>> order;
    port.SetHandler([&](Message message, uintptr_t wParam, intptr_t) -> intptr_t {
        order.emplace_back(message, wParam);
        return 0;
    });
    MessagePort::SenderSlot firstSlot;
    MessagePort::SenderSlot secondSlot;
    std::thread first([&] {
        port.Post(Message::StopForward, 1);
        port.Send(firstSlot, Message::ForwardNotify, 2);
    });
    UntilWaiting(firstSlot);
    std::thread second([&] { port.Send(secondSlot, Message::BackwardNotify, 3); });
    UntilWaiting(secondSlot);
    port.Post(Message::StopBackward, 4);

    // One drain, as every dispatching wait makes, serves them all in order.
    MessagePort::DrainThisThread();
    EXPECT_EQ(order, (std::vector<std::pair<Message, uintptr_t>>{{Message::StopForward, 1},
                                                                 {Message::ForwardNotify, 2},
                                                                 {Message::BackwardNotify, 3},
                                                                 {Message::StopBackward, 4}}));
    port.Close();  // releases the workers should the drain have missed them
    first.join();
    second.join();
}

TEST(SenderSlot, ASlotSenderIsServedWhileAHandlerWaits) {
    // A handler that stops a deck waits, dispatching, for a thread whose
    // messages come through a slot.
    MessagePort port;
    Event slotSenderDone(Event::Reset::Manual, false);
    std::vector<Message> order;
    std::thread slotSender;
    MessagePort::SenderSlot slot;
    port.SetHandler([&](Message message, uintptr_t, intptr_t) -> intptr_t {
        order.push_back(message);
        if (message == Message::StopForward) {
            slotSender = std::thread([&] {
                port.Send(slot, Message::ForwardNotify);
                slotSenderDone.Set();
            });
            platform::WaitDispatching(slotSenderDone);
        }
        return 0;
    });
    Event firstDone(Event::Reset::Manual, false);
    std::thread first([&] {
        port.Send(Message::StopForward);
        firstDone.Set();
    });
    platform::WaitDispatching(firstDone);
    first.join();
    slotSender.join();
    EXPECT_EQ(order, (std::vector<Message>{Message::StopForward, Message::ForwardNotify}));
}

}  // namespace
