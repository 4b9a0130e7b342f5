#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace platform {

// The private messages of the main window (application messages 0x8001 to
// 0x8020). Each carries the payload named beside it, DeckArgs where none is.
enum class Message : uint32_t {
    CdClosed = 0x8001,           // a deck closed its CD: the play list drops the CD's entries
    LoadPlayListEntry = 0x8002,  // load a deck's loaded play list entry into the deck
    DeckPrimed = 0x8003,         // a deck's new source has filled its first 121 blocks
    BlockDecoded = 0x8004,       // a block (file) or a run of blocks (CD) was decoded
    EffectOn = 0x8005,           // DeckArgs: install the effect the deck's effects window chose
    EffectOff = 0x8006,          // DeckArgs: remove the deck's effect
    EffectParameter = 0x8007,    // ChainArgs: apply one of the deck's two effect parameters
    EndOfTrack = 0x8008,         // a source reached the end of a track
    EqualizerBandGain = 0x8009,  // ChainArgs: apply a band's gain
    EqualizerOff = 0x800A,       // DeckArgs
    EqualizerOn = 0x800B,        // DeckArgs: (re)build the deck's equalizer chain
    PlayListFindNext = 0x800C,
    KeyCode = 0x800D,  // KeyArgs: a key the key poll found held down
    StartForward = 0x800E,
    StartBackward = 0x800F,
    BackwardNotify = 0x8010,
    ForwardNotify = 0x8011,
    TempoChanged = 0x8012,      // TempoArgs: the deck's forward playback frequency
    AddFileAndSelect = 0x8013,  // the play list appends the deck's file and selects it
    AddFile = 0x8014,           // FileArgs: the play list appends the file
    PlayListChanged = 0x8015,
    PreviousTrack = 0x8016,  // the deck asks for the play list's previous or next entry
    NextTrack = 0x8017,
    DeckBrowsing = 0x8018,  // a deck opens its file dialog
    ResumeForward = 0x8019,
    BufferLead60 = 0x801A,
    BufferLead20 = 0x801B,
    StopForward = 0x801C,
    StopBackward = 0x801D,
    ReportQueuedBytes = 0x801E,  // the deck's time display is refreshed from what is queued
    TrackLengthMeasured = 0x801F,
    ChildWindowClosed = 0x8020,  // WindowArgs: a tool window closed
    // Ours, beyond the window's table: a deck file's exact length was measured.
    LengthMeasured = 0x8021,
    // KeyArgs: a key pressed in a tool window, by the key poll's code, for the
    // main window's single-key shortcuts.
    ForwardedKey = 0x8022,
};

constexpr uint32_t kFirstMessage = 0x8001;
constexpr uint32_t kLastMessage = 0x8022;

// What a message carries.
struct DeckArgs {
    int deck = 0;
};
struct TempoArgs {
    int deck = 0;
    uint32_t frequencyHz = 0;
};
struct KeyArgs {
    int deck = 0;
    int key = 0;
};
struct WindowArgs {
    int deck = -1;  // -1: a window of no deck
    int code = 0;   // the window's control code
};
struct ChainArgs {
    int deck = 0;
    int index = 0;  // an equalizer band, or an effect parameter (0 or 1)
};
struct FileArgs {
    int deck = 0;
    std::string path;
};
struct TrackArgs {
    int deck = 0;
    int track = 0;  // a CD track, from 1
};
using Payload =
    std::variant<std::monostate, DeckArgs, TempoArgs, KeyArgs, WindowArgs, ChainArgs, FileArgs, TrackArgs>;

// The deck a payload names: 1 for Deck B, 0 for Deck A and where none is named.
inline int DeckOf(const Payload& payload) {
    return std::visit(
        [](const auto& args) {
            if constexpr (requires { args.deck; })
                return args.deck == 1 ? 1 : 0;
            else
                return 0;
        },
        payload);
}

}  // namespace platform
