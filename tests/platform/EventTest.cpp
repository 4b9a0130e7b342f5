#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Event.h"

using namespace std::chrono_literals;
using platform::Event;

TEST(Event, InitialStateAndManualResetStaysSignalled) {
    Event manual(Event::Reset::Manual, true);
    EXPECT_TRUE(manual.WaitFor(0us));
    EXPECT_TRUE(manual.WaitFor(0us)) << "a manual-reset event stays signalled after a wait";
    manual.Reset();
    EXPECT_FALSE(manual.WaitFor(2ms));

    Event unsignalled(Event::Reset::Manual, false);
    EXPECT_FALSE(unsignalled.IsSet());
}

TEST(Event, AutomaticResetReleasesOneWaitPerSignal) {
    Event automatic(Event::Reset::Automatic, false);
    automatic.Set();
    EXPECT_TRUE(automatic.WaitFor(0us));
    EXPECT_FALSE(automatic.WaitFor(2ms)) << "the first wait consumed the signal";

    std::atomic<int> released{0};
    std::thread a([&] { if (automatic.WaitFor(500ms)) ++released; });
    std::thread b([&] { if (automatic.WaitFor(500ms)) ++released; });
    std::this_thread::sleep_for(20ms);
    automatic.Set();
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 1);
}

TEST(Event, SetWakesABlockedWaiterOnAnotherThread) {
    Event event(Event::Reset::Manual, false);
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        event.Wait();
        woke = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(woke.load());
    event.Set();
    waiter.join();
    EXPECT_TRUE(woke.load());
}
