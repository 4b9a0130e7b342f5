#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/MessagePort.h"

using namespace std::chrono_literals;
using platform::Event;
using platform::Message;
using platform::MessagePort;

namespace {

TEST(DispatchingWaits, DepthCountsTheWaitsRunningOnThisThread) {
    EXPECT_EQ(platform::DispatchDepth(), 0);
    MessagePort port;
    Event secondHandled(Event::Reset::Manual, false);
    std::vector<int> depths;
    port.SetHandler([&](Message message, const platform::Payload&) -> intptr_t {
        depths.push_back(platform::DispatchDepth());
        if (message == Message::StartForward) {
            // A fade's pause inside the handling: one wait inside another.
            port.Post(Message::StopForward);
            platform::SleepDispatching(0us);
        } else {
            secondHandled.Set();
        }
        return 0;
    });
    port.Post(Message::StartForward);
    EXPECT_TRUE(platform::WaitDispatchingUntil(secondHandled, [] { return false; }));
    EXPECT_EQ(depths, (std::vector<int>{1, 2}));
    EXPECT_EQ(platform::DispatchDepth(), 0);

    secondHandled.Reset();
    port.Post(Message::StopBackward);
    platform::WaitDispatching(secondHandled);
    EXPECT_EQ(depths.back(), 1);
    EXPECT_EQ(platform::DispatchDepth(), 0);
}

TEST(DispatchingWaits, AWaitGivesUpOnceWhatItWaitsForCanNoLongerComeOrWaitsAreAbandoned) {
    MessagePort port;
    int handled = 0;
    port.SetHandler([&](Message, const platform::Payload&) -> intptr_t { return ++handled; });

    // A worker that sends, then ends without setting the event.
    Event never(Event::Reset::Manual, false);
    std::atomic<bool> workerEnded{false};
    std::thread worker([&] {
        MessagePort::SenderSlot slot;
        for (int i = 0; i < 3; ++i) port.Send(slot, Message::ForwardNotify);
        workerEnded = true;
    });
    EXPECT_FALSE(platform::WaitDispatchingUntil(never, [&] { return workerEnded.load(); }));
    worker.join();
    EXPECT_EQ(handled, 3) << "served while waiting";

    // The condition is asked at every step, and no step is taken once it holds.
    int asked = 0;
    EXPECT_FALSE(platform::WaitDispatchingUntil(never, [&] { return ++asked == 5; }));
    EXPECT_EQ(asked, 5);

    // The event counts first: a set event is a success, whatever the condition.
    Event comes(Event::Reset::Manual, false);
    std::thread([&] { comes.Set(); }).join();
    EXPECT_TRUE(platform::WaitDispatchingUntil(comes, [] { return true; }));

    // While the program closes, waits return at once without a step, unless
    // their event is set already.
    port.Post(Message::StopForward);
    platform::AbandonWaits(true);
    EXPECT_TRUE(platform::WaitsAbandoned());
    platform::SleepDispatching(2s);
    asked = 0;
    const bool gaveUp = !platform::WaitDispatchingUntil(never, [&] { return ++asked == 100; });
    const bool setOne = platform::WaitDispatchingUntil(comes, [] { return false; });
    const int handledWhileAbandoned = handled;
    platform::AbandonWaits(false);
    EXPECT_TRUE(gaveUp);
    EXPECT_TRUE(setOne);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(handledWhileAbandoned, 3) << "returned without a step";
    EXPECT_FALSE(platform::WaitsAbandoned());
    platform::SleepDispatching(0us);
    EXPECT_EQ(handled, 4);
}

}  // namespace
