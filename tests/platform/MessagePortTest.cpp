#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/MessagePort.h"
#include "support/Waits.h"

using namespace std::chrono_literals;
using platform::DeckArgs;
using platform::Event;
using platform::KeyArgs;
using platform::Message;
using platform::MessagePort;
using platform::Payload;

TEST(MessagePort, SendFromAWorkerBlocksUntilTheWindowHasHandledIt) {
    MessagePort port;
    std::thread::id handledOn;
    int handled = 0;
    port.SetHandler([&](Message m, const Payload& payload) -> intptr_t {
        handledOn = std::this_thread::get_id();
        ++handled;
        const auto& key = std::get<KeyArgs>(payload);
        return key.deck * 100 + key.key + (m == Message::ReportQueuedBytes ? 1 : 0);
    });

    Event workerDone(Event::Reset::Manual, false);
    std::atomic<intptr_t> answer{0};
    std::atomic<int> handledWhenSendReturned{-1};
    std::thread worker([&] {
        answer = port.Send(Message::ReportQueuedBytes, KeyArgs{1, 20});
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
    EXPECT_EQ(port.Send(Message::BlockDecoded, KeyArgs{2, 3}), 203);
    EXPECT_EQ(handled, 2);
}

TEST(MessagePort, PostReturnsAtOnceAndIsHandledLater) {
    MessagePort port;
    int handled = 0;
    port.SetHandler([&](Message, const platform::Payload&) -> intptr_t { return ++handled; });
    EXPECT_TRUE(port.Post(Message::StopForward, DeckArgs{0}));
    EXPECT_EQ(handled, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(handled, 1);
}

TEST(MessagePort, AClosedWindowNeverStrandsAWorker) {
    MessagePort port;
    int handled = 0;
    port.SetHandler([&](Message, const platform::Payload&) -> intptr_t { return ++handled; });
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

TEST(MessagePort, ClosingReleasesAWorkerAlreadyBlockedInSend) {
    MessagePort port;
    port.SetHandler([](Message, const platform::Payload&) -> intptr_t { return 7; });
    std::atomic<intptr_t> answer{-1};
    std::atomic<pid_t> id{0};
    std::thread worker([&] {
        id = testing_support::ThisThreadId();
        answer = port.Send(Message::BlockDecoded);
    });
    // Not dispatched: the message is still waiting when the window closes.
    // No dispatching here, which would answer the message.
    while (id.load() == 0) std::this_thread::yield();
    ASSERT_TRUE(testing_support::WaitUntilSleepingInFutex(id.load()));
    port.Close();
    worker.join();
    EXPECT_EQ(answer.load(), 0) << "a closed window answers nothing, and the worker goes on";
}

TEST(MessagePort, AWorkerIsServedWhileAHandlerRunsANestedLoop) {
    // A handler that opens a dialog runs a nested event loop; workers sending
    // meanwhile must not wait for the dialog to close.
    MessagePort port;
    Event secondDone(Event::Reset::Manual, false);
    std::vector<Message> order;
    bool servedDuringTheLoop = false;
    std::thread second;
    port.SetHandler([&](Message m, const platform::Payload&) -> intptr_t {
        order.push_back(m);
        if (m == Message::DeckPrimed) {
            second = std::thread([&] {
                port.Send(Message::EndOfTrack);
                secondDone.Set();
            });
            QEventLoop nested;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &nested, [&] {
                if (secondDone.IsSet()) nested.quit();
            });
            poll.start(1);
            QTimer::singleShot(3000, &nested, &QEventLoop::quit);
            nested.exec();
            servedDuringTheLoop = secondDone.IsSet();
        }
        return 0;
    });
    std::thread first([&] { port.Send(Message::DeckPrimed); });
    while (order.empty()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    first.join();
    platform::WaitDispatching(secondDone);
    second.join();
    EXPECT_TRUE(servedDuringTheLoop);
    EXPECT_EQ(order, (std::vector<Message>{Message::DeckPrimed, Message::EndOfTrack}));
}
