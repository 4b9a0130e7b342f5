#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Event.h"
#include "support/Waits.h"

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

    // Two threads asleep in the wait: each Set releases one and is consumed by it.
    std::atomic<int> released{0};
    std::atomic<pid_t> ids[2] = {0, 0};
    auto waiter = [&](int n) {
        ids[n] = testing_support::ThisThreadId();
        automatic.Wait();
        ++released;
    };
    std::thread a(waiter, 0), b(waiter, 1);
    for (auto& id : ids) {
        ASSERT_TRUE(testing_support::WaitUntil([&] { return id.load() != 0; }));
        ASSERT_TRUE(testing_support::WaitUntilSleepingInFutex(id.load()));
    }
    automatic.Set();
    ASSERT_TRUE(testing_support::WaitUntil([&] { return released.load() >= 1; }));
    EXPECT_FALSE(automatic.IsSet()) << "the released waiter consumed the signal";
    automatic.Set();
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_FALSE(automatic.IsSet()) << "one signal per waiter, none left over";
}

TEST(Event, SetWakesABlockedWaiterOnAnotherThread) {
    Event event(Event::Reset::Manual, false);
    std::atomic<bool> woke{false};
    std::atomic<pid_t> id{0};
    std::thread waiter([&] {
        id = testing_support::ThisThreadId();
        event.Wait();
        woke = true;
    });
    ASSERT_TRUE(testing_support::WaitUntil([&] { return id.load() != 0; }));
    ASSERT_TRUE(testing_support::WaitUntilSleepingInFutex(id.load()));
    EXPECT_FALSE(woke.load());
    event.Set();
    waiter.join();
    EXPECT_TRUE(woke.load());
}
