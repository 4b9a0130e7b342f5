#include "engine/ReaderLoop.h"

#include "engine/EngineEvents.h"
#include "platform/MessagePort.h"

namespace engine {

using platform::Message;

void RunReaderLoop(int deck, DiscBuffer& ring, engine::DeckEvents& events, platform::Event& threadDone,
                   ReaderFlags& flags, platform::MessagePort& mainWindow, BlockProducer& producer) {
    const platform::DeckArgs deckParam{deck};
    // The starter marked the reader running and its done event reset before
    // the thread began; doing it here would undo a stop asked for meanwhile.
    flags.waiting.exchange(0);

    ring.ResetForReader();
    producer.OnReaderStart(ring);
    events.discReadForward.Set();  // the first pass starts at once
    bool primed = false;
    int blocksBeforePriming = 0;

    auto prime = [&] {
        // A reader asked to stop does not prime: its deck reads from elsewhere now.
        if (flags.running.load() != 1) return;
        events.discReadForward.Reset();
        mainWindow.Send(Message::DeckPrimed, deckParam);
        primed = true;
    };

    bool sourceEnded = false;
    while (flags.running.load() == 1 && !sourceEnded) {
        flags.waiting.exchange(1);
        events.discReadForward.Wait();
        flags.waiting.exchange(0);
        if (flags.running.load() == 0) break;

        const int freeBlocks = ring.CountFree();
        producer.BeginPass(ring, freeBlocks);
        int produced = 0;
        for (int i = 0; i < freeBlocks; ++i) {
            if (flags.running.load() == 0) break;
            const int index = ring.WriteIndex();
            TrackName name;
            int32_t tag = kNoTag;
            const BlockProducer::Result result = producer.Produce(ring.Block(index), name, tag);
            if (!result.ok) {
                // The slot stays free for the next try, unless the source has
                // nothing more to give at all.
                if (result.endOfSource) {
                    sourceEnded = true;
                    break;
                }
                continue;
            }
            ++produced;
            ring.SetTag(index, tag);
            ring.SetName(index, std::move(name));
            ring.MarkFilled(index);
            if (producer.ReportsEachBlock()) mainWindow.Send(Message::BlockDecoded, deckParam);
            if (!primed && ++blocksBeforePriming == kPrimingBlocks)
                prime();
            else if (primed)
                events.discReadForward.Reset();
            ring.AdvanceWriteIndex();
            if (result.endOfSource) {
                sourceEnded = true;
                break;
            }
        }
        if (!producer.ReportsEachBlock() && produced > 0) mainWindow.Send(Message::BlockDecoded, deckParam);
        if (sourceEnded && !primed) prime();
        // A pass that produced nothing must not spin on a still-signalled event.
        if (produced == 0) events.discReadForward.Reset();
    }
    flags.running.exchange(0);
    threadDone.Set();
}

}  // namespace engine
