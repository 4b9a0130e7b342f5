#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Event.h"
#include "support/Waits.h"

using namespace std::chrono_literals;
using platform::Event;

namespace {

// A thread that waits on the event and counts its release; returned once it
// sleeps in the wait.
std::thread SleepingWaiter(Event& event, std::atomic<int>& released) {
    std::atomic<pid_t> id{0};
    std::thread waiter([&event, &released, &id] {
        id = testing_support::ThisThreadId();
        event.Wait();
        ++released;
    });
    EXPECT_TRUE(testing_support::WaitUntil([&] { return id.load() != 0; }));
    EXPECT_TRUE(testing_support::WaitUntilSleepingInFutex(id.load()));
    return waiter;
}

TEST(Event, ManualResetStaysSignalledAndReleasesEveryWaiter) {
    Event manual(Event::Reset::Manual, true);
    EXPECT_TRUE(manual.WaitFor(0us));
    EXPECT_TRUE(manual.WaitFor(0us)) << "a manual-reset event stays signalled after a wait";
    manual.Reset();
    EXPECT_FALSE(manual.WaitFor(2ms));

    std::atomic<int> released{0};
    std::thread a = SleepingWaiter(manual, released);
    std::thread b = SleepingWaiter(manual, released);
    EXPECT_EQ(released.load(), 0);
    manual.Set();
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_TRUE(manual.IsSet());
}

TEST(Event, AutomaticResetReleasesOneWaitPerSignal) {
    Event automatic(Event::Reset::Automatic, false);
    automatic.Set();
    EXPECT_TRUE(automatic.WaitFor(0us));
    EXPECT_FALSE(automatic.WaitFor(2ms)) << "the first wait consumed the signal";

    // Two threads asleep in the wait: each Set releases one and is consumed by it.
    std::atomic<int> released{0};
    std::thread a = SleepingWaiter(automatic, released);
    std::thread b = SleepingWaiter(automatic, released);
    automatic.Set();
    ASSERT_TRUE(testing_support::WaitUntil([&] { return released.load() >= 1; }));
    EXPECT_FALSE(automatic.IsSet()) << "the released waiter consumed the signal";
    automatic.Set();
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_FALSE(automatic.IsSet()) << "one signal per waiter, none left over";
}

}  // namespace
