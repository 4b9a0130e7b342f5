#pragma once

#include <atomic>
#include <cstdint>

#include "engine/DiscBuffer.h"

namespace platform {
class Event;
class MessagePort;
}  // namespace platform

namespace engine {

struct DeckEvents;

// Flags of a deck's reader thread, set with atomic exchange by either side.
struct ReaderFlags {
    std::atomic<int> running{0};
    std::atomic<int> waiting{0};
};

// What the reader loop asks of a source (file or CD).
class BlockProducer {
public:
    struct Result {
        bool ok = false;           // false: nothing was read, the slot stays free
        bool endOfSource = false;  // the block ended the file (or, without ok, the source is
                                   // closed): the reader stops after it
    };

    virtual ~BlockProducer() = default;
    virtual void OnReaderStart(DiscBuffer& /*ring*/) {}
    // A pass is about to fill `freeBlocks` blocks from the write index: a CD
    // reader extracts them all here, in one read.
    virtual void BeginPass(DiscBuffer& /*ring*/, int /*freeBlocks*/) {}
    // Fills the block; sets its name and tag.
    virtual Result Produce(SampleBlock& block, TrackName& name, int32_t& tag) = 0;
    // A file reader reports every block; a CD reader one message per pass.
    virtual bool ReportsEachBlock() const { return true; }
};

// The reader thread's body: keeps the ring full. The first pass fills every
// free block and primes the deck after 121 of them; afterwards one refill pass
// runs each time the block writer signals "Disc Read Forward Event".
// A source that ends before the priming point primes the deck as it ends, so
// even a very short file becomes playable. The starter marks the reader
// running and resets `threadDone` before the thread begins.
void RunReaderLoop(int deck, DiscBuffer& ring, engine::DeckEvents& events, platform::Event& threadDone,
                   ReaderFlags& flags, platform::MessagePort& mainWindow, BlockProducer& producer);

}  // namespace engine
