#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

#include "platform/Event.h"
#include "platform/MessagePort.h"
#include "platform/ThreadAllocationCount.h"

using platform::Event;
using platform::KeyArgs;
using platform::Message;
using platform::MessagePort;
using platform::Payload;
using testing_support::ThreadAllocationCount;

namespace {

TEST(SenderSlot, SendsAllocateNothingAndReturnEachResultInOrder) {
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
    long allocations[2] = {-1, -1};
    int wrongResults = 0;
    std::thread worker([&] {
        MessagePort::SenderSlot slot;  // made once, before the loop
        // Through the slot, then the ordinary Send for comparison: the count does see allocations.
        for (int withSlot : {1, 0}) {
            const ThreadAllocationCount count;
            for (int i = withSlot ? 0 : kSends; i < (withSlot ? kSends : kSends + 10); ++i) {
                const intptr_t result = withSlot ? port.Send(slot, Message::ForwardNotify, KeyArgs{7, i})
                                                 : port.Send(Message::ForwardNotify, KeyArgs{7, i});
                wrongResults += result != i * 3 + 7;
            }
            allocations[withSlot] = count.Count();
        }
        done.Set();
    });
    platform::WaitDispatching(done);
    worker.join();
    EXPECT_EQ(allocations[1], 0);
    EXPECT_GE(allocations[0], 10);
    EXPECT_EQ(wrongResults, 0);
    EXPECT_EQ(handled, kSends + 10);
    EXPECT_EQ(outOfOrder, 0);
}

TEST(SenderSlot, AnyDrainServesSlotsInTheOrderMessagesWereSent) {
    MessagePort port;
    std::vector<std::pair<Message, int>> order;
    port.SetHandler([&](Message message, const Payload& payload) -> intptr_t {
        order.emplace_back(message, std::get<KeyArgs>(payload).key);
        return 0;
    });
    // Waits, without serving the port, until the worker's message is in its slot.
    const auto untilWaiting = [](const MessagePort::SenderSlot& slot) {
        while (!slot.Waiting()) std::this_thread::yield();
    };
    MessagePort::SenderSlot firstSlot;
    MessagePort::SenderSlot secondSlot;
    std::thread first([&] {
        port.Post(Message::StopForward, KeyArgs{0, 1});
        port.Send(firstSlot, Message::ForwardNotify, KeyArgs{0, 2});
    });
    untilWaiting(firstSlot);
    std::thread second([&] { port.Send(secondSlot, Message::BackwardNotify, KeyArgs{0, 3}); });
    untilWaiting(secondSlot);
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

}  // namespace
