#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/MessagePort.h"
#include "support/Waits.h"

using platform::DeckArgs;
using platform::Event;
using platform::KeyArgs;
using platform::Message;
using platform::MessagePort;
using platform::Payload;

namespace {

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

    std::thread late([&] {
        answers[0] = port.Send(Message::BlockDecoded);
        answers[1] = port.Send(slot, Message::BackwardNotify, DeckArgs{0});
    });
    late.join();
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
    Event done[3] = {
        {Event::Reset::Manual, false}, {Event::Reset::Manual, false}, {Event::Reset::Manual, false}};
    std::vector<Message> order;
    bool servedDuringTheLoop = false;
    std::thread dialogSender;
    std::thread slotSender;
    MessagePort::SenderSlot slot;
    port.SetHandler([&](Message m, const Payload&) -> intptr_t {
        order.push_back(m);
        if (m != Message::DeckPrimed) return 0;
        dialogSender = std::thread([&] {
            port.Send(Message::EndOfTrack);
            done[1].Set();
        });
        QEventLoop nested;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &nested, [&] {
            if (done[1].IsSet()) nested.quit();
        });
        poll.start(1);
        QTimer::singleShot(testing_support::kGiveUp, &nested, &QEventLoop::quit);
        nested.exec();
        servedDuringTheLoop = done[1].IsSet();
        slotSender = std::thread([&] {
            port.Send(slot, Message::ForwardNotify);
            done[2].Set();
        });
        platform::WaitDispatching(done[2]);
        return 0;
    });
    std::thread first([&] {
        port.Send(Message::DeckPrimed);
        done[0].Set();
    });
    platform::WaitDispatching(done[0]);
    first.join();
    dialogSender.join();
    slotSender.join();
    EXPECT_TRUE(servedDuringTheLoop);
    EXPECT_EQ(order,
              (std::vector<Message>{Message::DeckPrimed, Message::EndOfTrack, Message::ForwardNotify}));
}

}  // namespace
