#pragma once

#include <cstdint>

// The vocabulary of our DirectSound: status codes, buffer capabilities and
// wave formats, with the values the rest of the program knows them by.
namespace platform::sound {

using HResult = int32_t;

constexpr HResult kOk = 0;                                                  // DS_OK / S_OK
constexpr HResult kFalse = 1;                                               // S_FALSE: done, with a change
constexpr HResult kUnexpected = static_cast<HResult>(0x8000FFFFu);          // E_UNEXPECTED
constexpr HResult kNotInitialized = static_cast<HResult>(0x800401F0u);      // CO_E_NOTINITIALIZED
constexpr HResult kInvalidParam = static_cast<HResult>(0x80070057u);        // DSERR_INVALIDPARAM
constexpr HResult kInvalidCall = static_cast<HResult>(0x88780032u);         // DSERR_INVALIDCALL
constexpr HResult kBadFormat = static_cast<HResult>(0x88780064u);           // DSERR_BADFORMAT
constexpr HResult kNoDriver = static_cast<HResult>(0x88780078u);            // DSERR_NODRIVER
constexpr HResult kControlUnavailable = static_cast<HResult>(0x8878001Eu);  // DSERR_CONTROLUNAVAIL
constexpr HResult kObjectNotFound = static_cast<HResult>(0x88781161u);      // DSERR_OBJECTNOTFOUND

constexpr bool Succeeded(HResult hr) {
    return hr >= 0;
}

// Buffer capabilities.
constexpr uint32_t kCapsPrimaryBuffer = 0x00000001;
constexpr uint32_t kCapsCtrl3D = 0x00000010;
constexpr uint32_t kCapsCtrlFrequency = 0x00000020;
constexpr uint32_t kCapsCtrlPan = 0x00000040;
constexpr uint32_t kCapsCtrlVolume = 0x00000080;
constexpr uint32_t kCapsCtrlPositionNotify = 0x00000100;
constexpr uint32_t kCapsCtrlFx = 0x00000200;
constexpr uint32_t kCapsGetCurrentPosition2 = 0x00010000;
constexpr uint32_t kCapsGlobalFocus = 0x00008000;

constexpr uint32_t kCooperativeExclusive = 3;

constexpr long kVolumeMin = -10'000;  // hundredths of a decibel: silence
constexpr long kVolumeMax = 0;
constexpr long kPanLeft = -10'000;
constexpr long kPanRight = 10'000;
constexpr uint32_t kFrequencyOriginal = 0;
constexpr uint32_t kFrequencyMin = 100;
constexpr uint32_t kFrequencyMax = 200'000;

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint32_t kSpeakerFrontLeft = 0x1;
constexpr uint32_t kSpeakerFrontRight = 0x2;
constexpr uint32_t kSpeakerBackLeft = 0x10;
constexpr uint32_t kSpeakerBackRight = 0x20;

// A PCM format, plain or extensible (with valid bits and a speaker mask).
struct WaveFormat {
    uint16_t formatTag = kFormatPcm;
    uint16_t channels = 2;
    uint32_t samplesPerSecond = 44'100;
    uint32_t averageBytesPerSecond = 176'400;
    uint16_t blockAlign = 4;
    uint16_t bitsPerSample = 16;
    uint16_t extraSize = 0;
    uint16_t validBitsPerSample = 16;  // extensible only
    uint32_t channelMask = 0;          // extensible only; 0 = the front pair
    bool subFormatPcm = true;          // extensible only

    static WaveFormat Pcm(uint16_t channels, uint32_t rate) {
        WaveFormat f;
        f.channels = channels;
        f.samplesPerSecond = rate;
        f.blockAlign = static_cast<uint16_t>(2 * channels);
        f.averageBytesPerSecond = f.blockAlign * rate;
        return f;
    }
};

struct BufferDescription {
    uint32_t size = 36;  // the structure's size, as callers fill it in
    uint32_t flags = 0;
    uint32_t bufferBytes = 0;
    const WaveFormat* format = nullptr;
};

// Volume in hundredths of a decibel to linear gain: 10^(volume / 2000).
float VolumeToGain(long volume) noexcept;

}  // namespace platform::sound
