#pragma once

#include <cstdint>
#include <string_view>

#include "platform/sound/AudioBackend.h"

namespace platform::sound {

// 64-bit FNV-1a, continued from `hash` over `bytes`.
constexpr uint64_t kFnvOffsetBasis = 14695981039346656037ull;

constexpr uint64_t Fnv1a(uint64_t hash, std::string_view bytes) noexcept {
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;  // the FNV prime
    }
    return hash;
}

// A device id from a key that names the device: the key's hash from the
// offset basis, then from `secondSeed`, each half little-endian. Ids are kept
// in the settings file, so these values must never change.
inline DeviceId DeviceIdOf(std::string_view key, uint64_t secondSeed) noexcept {
    const uint64_t first = Fnv1a(kFnvOffsetBasis, key);
    const uint64_t second = Fnv1a(secondSeed, key);
    DeviceId id{};
    for (int i = 0; i < 8; ++i) {
        id[i] = static_cast<uint8_t>(first >> (8 * i));
        id[8 + i] = static_cast<uint8_t>(second >> (8 * i));
    }
    return id;
}

}  // namespace platform::sound
