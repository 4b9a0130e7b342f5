#include "platform/cd/CZelCdSource.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/cd/CdDisc.h"

namespace platform::cd {
namespace {

// What one extraction reads at a time: 27 blocks, what a reader usually asks
// for. Longer reads go through it in turns.
constexpr int32_t kStagingSectors = 27 * kBlockBytes / kSectorBytes;
// A CD has at most 99 tracks.
constexpr int kMaxTracks = 99;

static_assert(kBlockBytes % kSectorBytes == 0 && kDiscBufferBytes % kBlockBytes == 0);

const std::string kNoName;

}  // namespace

struct CZelCdSource::Deck {
    CdDisc disc;
    std::string name;
    // Set last when a disc opens and first when it closes, so getters on
    // another thread see a whole table or none.
    std::atomic<bool> open{false};
    // startBytes[n] is where track n + 1 starts; startBytes[trackCount] is the
    // end of the audio. Fixed arrays, so a getter never reads freed memory.
    int trackCount = 0;
    std::array<int64_t, kMaxTracks + 1> startBytes{};
    std::atomic<int64_t> position{0};

    uint8_t* buffer = nullptr;
    int32_t bufferSize = 0;
    std::atomic<int32_t> writeOffset{0};
    std::vector<uint8_t> staging;  // allocated at open, used by Read

    int64_t TotalBytes() const { return startBytes[static_cast<size_t>(trackCount)]; }
    // The track holding `byte`: the first whose end lies beyond it;
    // trackCount + 1 at or past the end of the audio.
    int TrackAt(int64_t byte) const {
        int track = 1;
        while (track <= trackCount && startBytes[static_cast<size_t>(track)] <= byte) ++track;
        return track;
    }

    // Hands extracted audio to the disc buffer at the write offset, wrapping at
    // its end (possibly within one delivery).
    void Deliver(const uint8_t* bytes, int32_t count) {
        if (!buffer || bufferSize <= 0) return;
        int32_t offset = writeOffset.load(std::memory_order_relaxed);
        while (count > 0) {
            const int32_t piece = std::min(count, bufferSize - offset);
            std::memcpy(buffer + offset, bytes, static_cast<size_t>(piece));
            bytes += piece;
            count -= piece;
            offset = (offset + piece) % bufferSize;
        }
        writeOffset.store(offset, std::memory_order_release);
    }

    void Close() {
        open.store(false, std::memory_order_release);
        disc.Close();
        name.clear();
        trackCount = 0;
        startBytes.fill(0);
        position.store(0, std::memory_order_relaxed);
        staging.clear();
        staging.shrink_to_fit();
    }

    // Takes over the table of an opened disc.
    bool Opened(std::string discName, std::string& error) {
        const std::vector<CdTrackSpan>& tracks = disc.Tracks();
        if (tracks.size() > static_cast<size_t>(kMaxTracks)) {
            disc.Close();
            error = "The disc has more tracks than a CD can hold.";
            return false;
        }
        trackCount = static_cast<int>(tracks.size());
        for (int n = 0; n < trackCount; ++n)
            startBytes[static_cast<size_t>(n + 1)] =
                startBytes[static_cast<size_t>(n)] +
                static_cast<int64_t>(tracks[static_cast<size_t>(n)].sectors) * kSectorBytes;
        name = std::move(discName);
        staging.assign(static_cast<size_t>(kStagingSectors) * kSectorBytes, 0);
        position.store(0, std::memory_order_relaxed);
        open.store(true, std::memory_order_release);
        return true;
    }

    bool IsOpen() const { return open.load(std::memory_order_acquire); }
};

CZelCdSource::CZelCdSource() {
    for (auto& deck : decks_) deck = std::make_unique<Deck>();
    RefreshDrives();
}

CZelCdSource::~CZelCdSource() {
    for (int deck = 0; deck < kDecks; ++deck) CloseCd(deck);
}

CZelCdSource::Deck* CZelCdSource::DeckAt(int deck) const {
    return deck >= 0 && deck < kDecks ? decks_[static_cast<size_t>(deck)].get() : nullptr;
}

const std::vector<CZelCdSource::Drive>& CZelCdSource::Drives() const {
    return drives_;
}

void CZelCdSource::RefreshDrives() {
    drives_.clear();
    for (CdDriveInfo& found : FindCdDrives())
        drives_.push_back({std::move(found.device), std::move(found.name)});
}

bool CZelCdSource::OpenCd(int deck, int drive, std::string& error) {
    Deck* d = DeckAt(deck);
    if (!d) {
        error = "There is no such deck.";
        return false;
    }
    d->Close();
    if (drive < 0 || static_cast<size_t>(drive) >= drives_.size()) {
        error = drives_.empty() ? "No CD drive was found." : "That CD drive is no longer there.";
        return false;
    }
    const Drive chosen = drives_[static_cast<size_t>(drive)];
    return d->disc.OpenDrive(chosen.device, error) && d->Opened(chosen.name, error);
}

bool CZelCdSource::OpenImage(int deck, const std::string& path, std::string& error) {
    Deck* d = DeckAt(deck);
    if (!d) {
        error = "There is no such deck.";
        return false;
    }
    d->Close();
    return d->disc.OpenImage(path, error) && d->Opened(path, error);
}

void CZelCdSource::CloseCd(int deck) {
    if (Deck* d = DeckAt(deck)) d->Close();
}

bool CZelCdSource::IsOpen(int deck) const {
    const Deck* d = DeckAt(deck);
    return d && d->IsOpen();
}

const std::string& CZelCdSource::Name(int deck) const {
    const Deck* d = DeckAt(deck);
    return d && d->IsOpen() ? d->name : kNoName;
}

void CZelCdSource::SetDiscBuffer(int deck, uint8_t* bytes, int32_t size) {
    if (Deck* d = DeckAt(deck)) {
        d->buffer = bytes;
        d->bufferSize = bytes ? size : 0;
        d->writeOffset.store(0, std::memory_order_relaxed);
    }
}

void CZelCdSource::SetWriteOffset(int deck, int32_t offset) {
    Deck* d = DeckAt(deck);
    if (!d) return;
    if (d->bufferSize > 0) offset = ((offset % d->bufferSize) + d->bufferSize) % d->bufferSize;
    d->writeOffset.store(offset, std::memory_order_release);
}

int32_t CZelCdSource::WriteOffset(int deck) const {
    const Deck* d = DeckAt(deck);
    return d ? d->writeOffset.load(std::memory_order_acquire) : 0;
}

bool CZelCdSource::Read(int deck, int32_t bytes) {
    Deck* d = DeckAt(deck);
    if (!d || !d->IsOpen()) return false;
    // Positions stay on whole sectors: every seek lands on one and reads come
    // in whole blocks.
    int32_t sectors = std::max(0, bytes) / kSectorBytes;
    int64_t position = d->position.load(std::memory_order_relaxed);
    while (sectors > 0) {
        const int32_t now = std::min(sectors, kStagingSectors);
        d->disc.ReadSectors(position / kSectorBytes, now, d->staging.data());
        d->Deliver(d->staging.data(), now * kSectorBytes);
        position += static_cast<int64_t>(now) * kSectorBytes;
        d->position.store(position, std::memory_order_relaxed);
        sectors -= now;
    }
    return true;
}

int CZelCdSource::TrackCount(int deck) const {
    const Deck* d = DeckAt(deck);
    return d && d->IsOpen() ? d->trackCount : 0;
}

double CZelCdSource::TrackLength(int deck, int track) const {
    const Deck* d = DeckAt(deck);
    if (!d || !d->IsOpen() || track < 1 || track > d->trackCount) return 0;
    const auto n = static_cast<size_t>(track);
    return static_cast<double>(d->startBytes[n] - d->startBytes[n - 1]) / kBytesPerSecond;
}

double CZelCdSource::TotalLength(int deck) const {
    return static_cast<double>(TotalBytes(deck)) / kBytesPerSecond;
}

int64_t CZelCdSource::TrackStartByte(int deck, int track) const {
    const Deck* d = DeckAt(deck);
    if (!d || !d->IsOpen()) return 0;
    return d->startBytes[static_cast<size_t>(std::clamp(track, 1, d->trackCount + 1) - 1)];
}

int64_t CZelCdSource::TotalBytes(int deck) const {
    const Deck* d = DeckAt(deck);
    return d && d->IsOpen() ? d->TotalBytes() : 0;
}

int CZelCdSource::CurrentTrack(int deck) const {
    const Deck* d = DeckAt(deck);
    return d && d->IsOpen() ? d->TrackAt(d->position.load(std::memory_order_relaxed)) : 0;
}

double CZelCdSource::PositionInTrack(int deck) const {
    const Deck* d = DeckAt(deck);
    if (!d || !d->IsOpen()) return 0;
    const int64_t position = d->position.load(std::memory_order_relaxed);
    const int64_t start = d->startBytes[static_cast<size_t>(d->TrackAt(position) - 1)];
    return static_cast<double>(position - start) / kBytesPerSecond;
}

int64_t CZelCdSource::BytePosition(int deck) const {
    const Deck* d = DeckAt(deck);
    return d ? d->position.load(std::memory_order_relaxed) : 0;
}

void CZelCdSource::SeekTrackStart(int deck, int track) {
    Deck* d = DeckAt(deck);
    if (!d || !d->IsOpen()) return;
    d->position.store(TrackStartByte(deck, track), std::memory_order_relaxed);
}

void CZelCdSource::SeekInTrack(int deck, int track, double seconds) {
    Deck* d = DeckAt(deck);
    if (!d || !d->IsOpen()) return;
    const int64_t total = d->TotalBytes();
    // The millionth of a byte brings a time worked out from a byte count
    // (bytes / 176,400) back to that byte, not to the one before it.
    const double into = std::min(std::max(0.0, seconds) * kBytesPerSecond + 1e-6, static_cast<double>(total));
    const int64_t target = std::min(TrackStartByte(deck, track) + static_cast<int64_t>(into), total);
    d->position.store(target - target % kSectorBytes, std::memory_order_relaxed);
}

}  // namespace platform::cd
