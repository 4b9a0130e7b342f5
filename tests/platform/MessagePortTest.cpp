// The threads' meeting points: events, the main window's message port with
// its sender slots, and the waits that serve the port while they wait.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Event.h"
#include "platform/MessagePort.h"
#include "platform/ThreadAllocationCount.h"
#include "support/Waits.h"

using namespace std::chrono_literals;
using namespace platform;

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

// Runs `work` on a thread of its own while this one waits, serving the port, for it to end.
void OnWorker(const std::function<void()>& work) {
    Event done(Event::Reset::Manual, false);
    std::thread worker([&] {
        work();
        done.Set();
    });
    WaitDispatching(done);
    worker.join();
}

}  // namespace

TEST(Event, AManualResetEventReleasesEveryWaiterAndAnAutomaticOneAWaitPerSignal) {
    for (const auto reset : {Event::Reset::Manual, Event::Reset::Automatic}) {
        const bool manual = reset == Event::Reset::Manual;
        SCOPED_TRACE(manual ? "manual" : "automatic");
        Event event(reset, true);
        EXPECT_TRUE(event.WaitFor(0us));
        EXPECT_EQ(event.WaitFor(2ms), manual) << "only a manual-reset event stays signalled after a wait";
        event.Reset();
        EXPECT_FALSE(event.WaitFor(2ms));

        // Two threads asleep in the wait; an automatic event's signal is
        // consumed by the one it releases.
        std::atomic<int> released{0};
        std::thread a = SleepingWaiter(event, released);
        std::thread b = SleepingWaiter(event, released);
        event.Set();
        ASSERT_TRUE(testing_support::WaitUntil([&] { return released.load() >= 1; }));
        EXPECT_EQ(event.IsSet(), manual);
        if (!manual) event.Set();
        EXPECT_TRUE(testing_support::WaitUntil([&] { return released.load() == 2; }));
        EXPECT_EQ(event.IsSet(), manual) << "one signal per waiter, none left over";
        event.Set();  // lets a waiter left behind go, should the checks above fail
        a.join();
        b.join();
    }
}

TEST(MessagePort, SendFromAWorkerBlocksUntilHandledAndPostReturnsAtOnce) {
    MessagePort port;
    std::thread::id handledOn;
    int handled = 0;
    port.SetHandler([&](Message m, const Payload& payload) -> intptr_t {
        handledOn = std::this_thread::get_id();
        ++handled;
        const auto& key = std::get<KeyArgs>(payload);
        return key.deck * 100 + key.key + (m == Message::ReportQueuedBytes ? 1 : 0);
    });
    // The worker is served while the window waits for it, and its send
    // returns what the handler answered.
    intptr_t answer = 0;
    OnWorker([&] { answer = port.Send(Message::ReportQueuedBytes, KeyArgs{1, 20}); });
    EXPECT_EQ(answer, 121);
    EXPECT_EQ(handledOn, std::this_thread::get_id()) << "handlers run on the window's thread";

    // On the window's own thread a send is a direct call; a post waits for the event loop.
    EXPECT_EQ(port.Send(Message::BlockDecoded, KeyArgs{2, 3}), 203);
    EXPECT_TRUE(port.Post(Message::StopForward, KeyArgs{0, 0}));
    EXPECT_EQ(handled, 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(handled, 3);
}

TEST(MessagePort, ClosingReleasesWaitingWorkersAndLaterMessagesComeBackAtOnce) {
    MessagePort port;
    int handled = 0;
    port.SetHandler([&](Message, const Payload&) -> intptr_t { return ++handled + 6; });
    // One worker waits in an ordinary send, one in its slot; nobody serves
    // the port meanwhile, which would answer them.
    MessagePort::SenderSlot slot;
    std::atomic<intptr_t> answers[2] = {-1, -1};
    std::atomic<pid_t> id{0};
    std::thread worker([&] {
        id = testing_support::ThisThreadId();
        answers[0] = port.Send(Message::BlockDecoded);
    });
    std::thread slotWorker([&] { answers[1] = port.Send(slot, Message::ForwardNotify, DeckArgs{1}); });
    while (id.load() == 0 || !slot.Waiting()) std::this_thread::yield();
    ASSERT_TRUE(testing_support::WaitUntilSleepingInFutex(id.load()));

    port.Close();
    worker.join();
    slotWorker.join();
    EXPECT_EQ(answers[0].load(), 0) << "a closed window answers nothing, and the worker goes on";
    EXPECT_EQ(answers[1].load(), 0);
    EXPECT_FALSE(slot.Waiting());
    std::thread([&] {
        answers[0] = port.Send(Message::BlockDecoded);
        answers[1] = port.Send(slot, Message::BackwardNotify, DeckArgs{0});
    }).join();
    EXPECT_EQ(answers[0].load() + answers[1].load(), 0);
    EXPECT_FALSE(port.Post(Message::BlockDecoded));
    MessagePort::DrainThisThread();
    QCoreApplication::processEvents();
    EXPECT_EQ(handled, 0);
}

TEST(MessagePort, WorkersAreServedWhileAHandlerWaits) {
    // A handler that opens a dialog runs a nested event loop, and one that
    // stops a deck waits, dispatching, for a thread that sends through a slot:
    // workers sending meanwhile must not wait for either to end.
    MessagePort port;
    Event dialogSenderDone(Event::Reset::Manual, false);
    std::vector<Message> order;
    std::thread dialogSender;
    MessagePort::SenderSlot slot;
    port.SetHandler([&](Message m, const Payload&) -> intptr_t {
        order.push_back(m);
        if (m != Message::DeckPrimed) return 0;
        dialogSender = std::thread([&] {
            port.Send(Message::EndOfTrack);
            dialogSenderDone.Set();
        });
        QEventLoop nested;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &nested, [&] {
            if (dialogSenderDone.IsSet()) nested.quit();
        });
        poll.start(1);
        QTimer::singleShot(testing_support::kGiveUp, &nested, &QEventLoop::quit);
        nested.exec();
        EXPECT_TRUE(dialogSenderDone.IsSet()) << "not served during the dialog's loop";
        OnWorker([&] { port.Send(slot, Message::ForwardNotify); });
        return 0;
    });
    OnWorker([&] { port.Send(Message::DeckPrimed); });
    dialogSender.join();
    EXPECT_EQ(order,
              (std::vector<Message>{Message::DeckPrimed, Message::EndOfTrack, Message::ForwardNotify}));
}

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
    long allocations[2] = {-1, -1};
    int wrongResults = 0;
    OnWorker([&] {
        MessagePort::SenderSlot slot;  // made once, before the loop
        // Through the slot, then the ordinary Send for comparison: the count does see allocations.
        for (int withSlot : {1, 0}) {
            const testing_support::ThreadAllocationCount count;
            for (int i = withSlot ? 0 : kSends; i < (withSlot ? kSends : kSends + 10); ++i) {
                const intptr_t result = withSlot ? port.Send(slot, Message::ForwardNotify, KeyArgs{7, i})
                                                 : port.Send(Message::ForwardNotify, KeyArgs{7, i});
                wrongResults += result != i * 3 + 7;
            }
            allocations[withSlot] = count.Count();
        }
    });
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

TEST(DispatchingWaits, DepthCountsTheWaitsRunningOnThisThread) {
    EXPECT_EQ(DispatchDepth(), 0);
    MessagePort port;
    Event secondHandled(Event::Reset::Manual, false);
    std::vector<int> depths;
    port.SetHandler([&](Message message, const Payload&) -> intptr_t {
        depths.push_back(DispatchDepth());
        if (message == Message::StartForward) {
            // A fade's pause inside the handling: one wait inside another.
            port.Post(Message::StopForward);
            SleepDispatching(0us);
        } else {
            secondHandled.Set();
        }
        return 0;
    });
    port.Post(Message::StartForward);
    EXPECT_TRUE(WaitDispatchingUntil(secondHandled, [] { return false; }));
    EXPECT_EQ(depths, (std::vector<int>{1, 2}));
    EXPECT_EQ(DispatchDepth(), 0);

    secondHandled.Reset();
    port.Post(Message::StopBackward);
    WaitDispatching(secondHandled);
    EXPECT_EQ(depths.back(), 1);
    EXPECT_EQ(DispatchDepth(), 0);
}

TEST(DispatchingWaits, AWaitGivesUpOnceWhatItWaitsForCanNoLongerComeOrWaitsAreAbandoned) {
    MessagePort port;
    int handled = 0;
    port.SetHandler([&](Message, const Payload&) -> intptr_t { return ++handled; });

    // A worker that sends, then ends without setting the event.
    Event never(Event::Reset::Manual, false);
    std::atomic<bool> workerEnded{false};
    std::thread worker([&] {
        MessagePort::SenderSlot slot;
        for (int i = 0; i < 3; ++i) port.Send(slot, Message::ForwardNotify);
        workerEnded = true;
    });
    EXPECT_FALSE(WaitDispatchingUntil(never, [&] { return workerEnded.load(); }));
    worker.join();
    EXPECT_EQ(handled, 3) << "served while waiting";

    // The condition is asked at every step, and no step is taken once it holds.
    int asked = 0;
    EXPECT_FALSE(WaitDispatchingUntil(never, [&] { return ++asked == 5; }));
    EXPECT_EQ(asked, 5);

    // The event counts first: a set event is a success, whatever the condition.
    Event comes(Event::Reset::Manual, false);
    std::thread([&] { comes.Set(); }).join();
    EXPECT_TRUE(WaitDispatchingUntil(comes, [] { return true; }));

    // While the program closes, waits return at once without a step, unless
    // their event is set already.
    port.Post(Message::StopForward);
    AbandonWaits(true);
    EXPECT_TRUE(WaitsAbandoned());
    SleepDispatching(2s);
    asked = 0;
    const bool gaveUp = !WaitDispatchingUntil(never, [&] { return ++asked == 100; });
    const bool setOne = WaitDispatchingUntil(comes, [] { return false; });
    const int handledWhileAbandoned = handled;
    AbandonWaits(false);
    EXPECT_TRUE(gaveUp);
    EXPECT_TRUE(setOne);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(handledWhileAbandoned, 3) << "returned without a step";
    EXPECT_FALSE(WaitsAbandoned());
    SleepDispatching(0us);
    EXPECT_EQ(handled, 4);
}
