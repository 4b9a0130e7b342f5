#include <gtest/gtest.h>

#include <QEventLoop>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Event.h"
#include "platform/MessagePort.h"
#include "platform/ThreadAllocationCount.h"

using platform::DeckArgs;
using platform::Event;
using platform::KeyArgs;
using platform::Message;
using platform::MessagePort;
using platform::Payload;
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
    port.SetHandler([&](Message message, const Payload& payload) -> intptr_t {
        const auto& key = std::get<KeyArgs>(payload);
        if (message != Message::ForwardNotify || key.key != handled) ++outOfOrder;
        ++handled;
        return key.key * 3 + key.deck;
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
                if (port.Send(slot, Message::ForwardNotify, KeyArgs{7, i}) != i * 3 + 7) ++wrongResults;
            slotAllocations = count.Count();
        }
        // The ordinary Send, for comparison: the count does see allocations.
        {
            const ThreadAllocationCount count;
            for (int i = kSends; i < kSends + 10; ++i) port.Send(Message::ForwardNotify, KeyArgs{7, i});
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
    port.SetHandler([&](Message, const platform::Payload&) -> intptr_t { return ++handled + 6; });
    MessagePort::SenderSlot slot;
    std::atomic<intptr_t> answer{-1};
    std::thread worker([&] { answer = port.Send(slot, Message::ForwardNotify, DeckArgs{1}); });
    UntilWaiting(slot);  // nobody serves the port meanwhile

    port.Close();
    worker.join();
    EXPECT_EQ(answer.load(), 0) << "a closed window answers nothing, and the worker goes on";
    EXPECT_FALSE(slot.Waiting());

    // Sends after the close come back at once.
    std::thread late([&] { answer = port.Send(slot, Message::BackwardNotify, DeckArgs{0}); });
    late.join();
    EXPECT_EQ(answer.load(), 0);
    MessagePort::DrainThisThread();
    EXPECT_EQ(handled, 0);
}

TEST(SenderSlot, AnyDrainServesSlotsInTheOrderMessagesWereSent) {
    MessagePort port;
    std::vector<std::pair<Message, int>> order;
    port.SetHandler([&](Message message, const Payload& payload) -> intptr_t {
        order.emplace_back(message, std::get<KeyArgs>(payload).key);
        return 0;
    });
    MessagePort::SenderSlot firstSlot;
    MessagePort::SenderSlot secondSlot;
    std::thread first([&] {
        port.Post(Message::StopForward, KeyArgs{0, 1});
        port.Send(firstSlot, Message::ForwardNotify, KeyArgs{0, 2});
    });
    UntilWaiting(firstSlot);
    std::thread second([&] { port.Send(secondSlot, Message::BackwardNotify, KeyArgs{0, 3}); });
    UntilWaiting(secondSlot);
    port.Post(Message::StopBackward, KeyArgs{0, 4});

    // One drain, as every dispatching wait makes, serves them all in order.
    MessagePort::DrainThisThread();
    EXPECT_EQ(order, (std::vector<std::pair<Message, int>>{{Message::StopForward, 1},
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
    port.SetHandler([&](Message message, const platform::Payload&) -> intptr_t {
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
