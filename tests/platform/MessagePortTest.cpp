#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Event.h"
#include "platform/MessagePort.h"

using namespace std::chrono_literals;
using platform::Event;
using platform::Message;
using platform::MessagePort;

TEST(MessagePort, SendFromAWorkerBlocksUntilTheWindowHasHandledIt) {
    MessagePort port;
    std::thread::id handledOn;
    int handled = 0;
    port.SetHandler([&](Message m, uintptr_t w, intptr_t l) -> intptr_t {
        handledOn = std::this_thread::get_id();
        ++handled;
        return static_cast<intptr_t>(w) * 100 + l + (m == Message::ReportQueuedBytes ? 1 : 0);
    });

    Event workerDone(Event::Reset::Manual, false);
    std::atomic<intptr_t> answer{0};
    std::atomic<int> handledWhenSendReturned{-1};
    std::thread worker([&] {
        answer = port.Send(Message::ReportQueuedBytes, 1, 20);
        handledWhenSendReturned = handled;
        workerDone.Set();
    });
    // The worker is served while the window waits for it.
    platform::WaitDispatching(workerDone);
    worker.join();
    EXPECT_EQ(answer.load(), 121);
    EXPECT_EQ(handledWhenSendReturned.load(), 1) << "the send returned only after the handler ran";
    EXPECT_EQ(handledOn, std::this_thread::get_id()) << "handlers run on the window's thread";

    // On the window's own thread a send is a direct call.
    EXPECT_EQ(port.Send(Message::BlockDecoded, 2, 3), 203);
    EXPECT_EQ(handled, 2);
}

TEST(MessagePort, PostReturnsAtOnceAndIsHandledLater) {
    MessagePort port;
    int handled = 0;
    port.SetHandler([&](Message, uintptr_t, intptr_t) -> intptr_t { return ++handled; });
    EXPECT_TRUE(port.Post(Message::StopForward, 0));
    EXPECT_EQ(handled, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(handled, 1);
}

TEST(MessagePort, AClosedWindowNeverStrandsAWorker) {
    MessagePort port;
    int handled = 0;
    port.SetHandler([&](Message, uintptr_t, intptr_t) -> intptr_t { return ++handled; });
    port.Close();
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        port.Send(Message::BlockDecoded);
        returned = true;
    });
    // Nobody dispatches here: the send must come back by itself.
    worker.join();
    EXPECT_TRUE(returned.load());
    EXPECT_FALSE(port.Post(Message::BlockDecoded));
    QCoreApplication::processEvents();
    EXPECT_EQ(handled, 0);
}

TEST(MessagePort, WaitingDispatchesSoAWorkerSendingManyMessagesFinishes) {
    MessagePort port;
    int handled = 0;
    port.SetHandler([&](Message, uintptr_t, intptr_t) -> intptr_t { return ++handled; });
    Event done(Event::Reset::Manual, false);
    std::thread worker([&] {
        for (int i = 0; i < 500; ++i) port.Send(Message::BlockDecoded);
        done.Set();
    });
    const auto start = std::chrono::steady_clock::now();
    platform::WaitDispatching(done);
    worker.join();
    EXPECT_EQ(handled, 500);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}
