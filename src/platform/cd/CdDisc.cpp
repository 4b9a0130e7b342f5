#include "platform/cd/CdDisc.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/memory.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "platform/cd/CdImageFiles.h"

namespace platform::cd {
namespace {

static_assert(std::endian::native == std::endian::little,
              "images and paranoia hand out the host's 16-bit samples as they are");

constexpr int32_t kSectorBytes = CDIO_CD_FRAMESIZE_RAW;
// How often paranoia re-reads a sector it cannot verify before it gives up
// on it; few, so a scratch costs a moment of silence rather than a stall.
constexpr int kParanoiaRetries = 5;

// libcdio prints its warnings and errors on stderr, where every expected
// failure (an empty drive, a missing file) would show up; the user gets our
// sentence instead. Its assertions keep the library's own handling.
void OnLibraryMessage(cdio_log_level_t level, const char message[]) {
    if (level >= CDIO_LOG_ASSERT) cdio_default_log_handler(level, message);
}

void StartLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        cdio_log_set_handler(OnLibraryMessage);
        cdio_init();
    });
}

std::string Trimmed(const char* text) {
    std::string s(text);
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!s.empty() && blank(static_cast<unsigned char>(s.back()))) s.pop_back();
    const auto first = std::find_if_not(s.begin(), s.end(), blank);
    return std::string(first, s.end());
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A string libcdio allocated, taken over.
std::string TakeLibraryString(char* text) {
    if (!text) return {};
    std::string s(text);
    cdio_free(text);
    return s;
}

enum class Table { kOk, kNoTracks, kNoAudio, kDamaged };

// The audio tracks as libcdio's table of contents gives them, each running to
// the next track's start (of any kind), the last to the lead-out. A table that
// reaches past the image's data (a truncated file) is damaged.
Table ImageTable(CdIo_t* cdio, std::vector<CdTrackSpan>& tracks) {
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t count = cdio_get_num_tracks(cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) return Table::kNoTracks;
    const lsn_t leadOut = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (leadOut == CDIO_INVALID_LSN) return Table::kDamaged;
    for (int i = 0; i < count; ++i) {
        const auto track = static_cast<track_t>(first + i);
        const lsn_t start = cdio_get_track_lsn(cdio, track);
        const lsn_t end = i + 1 < count ? cdio_get_track_lsn(cdio, static_cast<track_t>(track + 1)) : leadOut;
        if (start == CDIO_INVALID_LSN || end == CDIO_INVALID_LSN || start < 0 || end <= start ||
            end > leadOut)
            return Table::kDamaged;
        if (cdio_get_track_format(cdio, track) == TRACK_FORMAT_AUDIO) tracks.push_back({start, end - start});
    }
    return tracks.empty() ? Table::kNoAudio : Table::kOk;
}

// The audio tracks as paranoia sees a drive's disc: it knows where the audio
// session of a CD with data after its audio ends.
Table DriveTable(CdIo_t* cdio, cdrom_drive_t* drive, std::vector<CdTrackSpan>& tracks) {
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t count = cdio_cddap_tracks(drive);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) return Table::kNoTracks;
    for (int i = 0; i < count; ++i) {
        const auto track = static_cast<track_t>(first + i);
        if (cdio_cddap_track_audiop(drive, track) != 1) continue;
        const lsn_t start = cdio_cddap_track_firstsector(drive, track);
        const lsn_t last = cdio_cddap_track_lastsector(drive, track);
        if (start < 0 || last < start) return Table::kDamaged;
        tracks.push_back({start, last - start + 1});
    }
    return tracks.empty() ? Table::kNoAudio : Table::kOk;
}

bool Fail(std::string& error, const char* sentence) {
    error = sentence;
    return false;
}

}  // namespace

std::vector<CdDriveInfo> FindCdDrives() {
    StartLibraryOnce();
    std::vector<CdDriveInfo> drives;
    char** devices = cdio_get_devices(DRIVER_DEVICE);
    for (char** device = devices; device && *device; ++device) {
        CdDriveInfo drive{*device, *device};
        if (CdIo_t* cdio = cdio_open(*device, DRIVER_DEVICE)) {
            cdio_hwinfo_t info{};
            if (cdio_get_hwinfo(cdio, &info)) {
                const std::string name = Trimmed(info.psz_vendor) + " " + Trimmed(info.psz_model);
                if (!Trimmed(name.c_str()).empty()) drive.name = Trimmed(name.c_str());
            }
            cdio_destroy(cdio);
        }
        // Virtual burners that only write image files.
        if (drive.name.find("Image Recorder") != std::string::npos) continue;
        drives.push_back(std::move(drive));
    }
    if (devices) cdio_free_device_list(devices);
    return drives;
}

struct CdDisc::Impl {
    CdIo_t* cdio = nullptr;
    cdrom_drive_t* drive = nullptr;        // drives only
    cdrom_paranoia_t* paranoia = nullptr;  // drives only
    lsn_t paranoiaNext = -1;               // the sector paranoia reads next; -1 before the first seek
    bool swapBytes = false;                // cdrdao keeps raw audio big-endian
    std::string linkFolder;                // see LinkCueWithData, CopyTocWithFullPaths

    ~Impl() { Close(); }

    void Close() {
        if (paranoia) cdio_paranoia_free(paranoia);
        if (drive) cdio_cddap_close_no_free_cdio(drive);
        if (cdio) cdio_destroy(cdio);
        RemoveLinkFolder(linkFolder);
        paranoia = nullptr;
        drive = nullptr;
        cdio = nullptr;
        paranoiaNext = -1;
        swapBytes = false;
        linkFolder.clear();
    }

    // `count` sectors of one track from disc sector `lsn` on; silence where
    // they cannot be read.
    void ReadRun(lsn_t lsn, int32_t count, uint8_t* out) {
        const size_t bytes = static_cast<size_t>(count) * kSectorBytes;
        if (!paranoia) {
            // Cleared first: a short read of a file cut short after opening
            // would otherwise leave stale audio behind.
            std::memset(out, 0, bytes);
            if (cdio_read_audio_sectors(cdio, out, lsn, static_cast<uint32_t>(count)) != DRIVER_OP_SUCCESS)
                std::memset(out, 0, bytes);
            if (swapBytes)
                for (size_t i = 0; i + 1 < bytes; i += 2) std::swap(out[i], out[i + 1]);
            return;
        }
        for (int32_t i = 0; i < count; ++i, ++lsn) {
            uint8_t* sector = out + static_cast<size_t>(i) * kSectorBytes;
            if (lsn != paranoiaNext) {
                // Paranoia sent to a sector it cannot read, with nothing read
                // before it, retries for ever; a plain read tells first. The
                // next sector then seeks again.
                if (cdio_read_audio_sectors(cdio, sector, lsn, 1) != DRIVER_OP_SUCCESS) {
                    std::memset(sector, 0, kSectorBytes);
                    continue;
                }
                cdio_paranoia_seek(paranoia, lsn, SEEK_SET);
                paranoiaNext = lsn;
            }
            // Paranoia fills what it gives up on with silence itself.
            const int16_t* samples = cdio_paranoia_read_limited(paranoia, nullptr, kParanoiaRetries);
            ++paranoiaNext;
            if (samples)
                std::memcpy(sector, samples, kSectorBytes);
            else
                std::memset(sector, 0, kSectorBytes);
        }
    }
};

CdDisc::CdDisc() : impl_(std::make_unique<Impl>()) {}

CdDisc::~CdDisc() = default;

bool CdDisc::IsOpen() const {
    return impl_->cdio != nullptr;
}

void CdDisc::Close() {
    impl_->Close();
    tracks_.clear();
    audioSectors_ = 0;
}

bool CdDisc::OpenDrive(const std::string& device, std::string& error) {
    Close();
    StartLibraryOnce();
    impl_->cdio = cdio_open(device.c_str(), DRIVER_DEVICE);
    if (!impl_->cdio) return Fail(error, "The CD drive could not be opened.");
    return OpenThroughParanoia(error);
}

bool CdDisc::OpenImageAsDrive(const std::string& path, std::string& error) {
    Close();
    StartLibraryOnce();
    impl_->cdio = cdio_open(path.c_str(), DRIVER_UNKNOWN);
    if (!impl_->cdio) return Fail(error, "The file is not a CD image that can be played.");
    return OpenThroughParanoia(error);
}

bool CdDisc::OpenThroughParanoia(std::string& error) {
    Impl& d = *impl_;
    // An empty drive has no table of contents; asking for it fails at once.
    std::vector<CdTrackSpan> tracks;
    const Table toc = ImageTable(d.cdio, tracks);
    if (toc == Table::kNoTracks) {
        Close();
        return Fail(error, "There is no disc in the CD drive.");
    }
    if (toc == Table::kNoAudio) {
        Close();
        return Fail(error, "The disc in the CD drive has no audio tracks.");
    }
    d.drive = cdio_cddap_identify_cdio(d.cdio, CDDA_MESSAGE_FORGETIT, nullptr);
    if (!d.drive) {
        Close();
        return Fail(error, "The CD drive cannot read audio discs.");
    }
    cdio_cddap_verbose_set(d.drive, CDDA_MESSAGE_FORGETIT, CDDA_MESSAGE_FORGETIT);
    tracks.clear();
    if (cdio_cddap_open(d.drive) != 0 || DriveTable(d.cdio, d.drive, tracks) != Table::kOk) {
        Close();
        return Fail(error, "The disc in the CD drive cannot be read.");
    }
    d.paranoia = cdio_paranoia_init(d.drive);
    if (!d.paranoia) {
        Close();
        return Fail(error, "The disc in the CD drive cannot be read.");
    }
    // Full repair, but a sector that stays unreadable is skipped, not retried for ever.
    cdio_paranoia_modeset(d.paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
    tracks_ = std::move(tracks);
    for (const CdTrackSpan& t : tracks_) audioSectors_ += t.sectors;
    return true;
}

bool CdDisc::OpenImage(const std::string& path, std::string& error) {
    namespace fs = std::filesystem;
    Close();
    StartLibraryOnce();
    Impl& d = *impl_;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return Fail(error, "The CD image file does not exist.");
    // Not a regular file (a folder, a device, a pipe that would block): no image.
    if (!S_ISREG(status.st_mode)) return Fail(error, "The file is not a CD image.");

    // A .bin is opened through the .cue beside it.
    const std::string extension = Lower(fs::path(path).extension().string());
    std::string sheet = path;
    if (extension == ".bin") {
        sheet = TakeLibraryString(cdio_is_binfile(path.c_str()));
        if (sheet.empty()) return Fail(error, "The .bin file has no .cue file beside it.");
    }
    const bool cue = extension == ".cue" || extension == ".bin";
    const bool tocSheet = extension == ".toc";
    std::string openPath = path;
    if (cue || tocSheet) {
        const std::vector<SheetFile> files = NamedDataFiles(sheet);
        for (const SheetFile& file : files)
            if (!fs::is_regular_file(file.path)) return Fail(error, "A file the CD image needs is missing.");
        if (tocSheet && !files.empty()) {
            d.linkFolder = CopyTocWithFullPaths(sheet);
            if (d.linkFolder.empty()) return Fail(error, "The CD image could not be opened.");
            openPath = (fs::path(d.linkFolder) / "disc.toc").string();
        }
        if (cue && files.size() > 1)
            return Fail(error, "CD images with a file for each track cannot be played.");
        if (cue && files.size() == 1) {
            if (Lower(files[0].type) != "binary")
                return Fail(error, "Only CD images whose audio is in a .bin file can be played.");
            // libcdio reads the .bin named like the .cue; a sheet naming
            // another file is opened through links with matching names.
            const std::string expected = TakeLibraryString(cdio_is_cuefile(sheet.c_str()));
            std::error_code same;
            if (!fs::equivalent(expected, files[0].path, same)) {
                d.linkFolder = LinkCueWithData(sheet, files[0].path);
                if (d.linkFolder.empty()) return Fail(error, "The CD image could not be opened.");
                openPath = (fs::path(d.linkFolder) / "disc.cue").string();
            }
        }
    }

    d.cdio = cdio_open(openPath.c_str(), DRIVER_UNKNOWN);
    const driver_id_t driver = d.cdio ? cdio_get_driver_id(d.cdio) : DRIVER_UNKNOWN;
    if (driver != DRIVER_BINCUE && driver != DRIVER_CDRDAO && driver != DRIVER_NRG) {
        Close();
        return Fail(error, "The file is not a CD image that can be played.");
    }
    d.swapBytes = driver == DRIVER_CDRDAO;

    std::vector<CdTrackSpan> tracks;
    const Table toc = ImageTable(d.cdio, tracks);
    if (toc == Table::kNoAudio) {
        Close();
        return Fail(error, "The CD image has no audio tracks.");
    }
    if (toc != Table::kOk) {
        Close();
        return Fail(error, "The CD image is damaged or incomplete.");
    }
    // Each track's first sector must read. libcdio's .toc reader takes a WAV
    // file's header for audio; such an image would start with a burst of noise.
    std::vector<uint8_t> sector(kSectorBytes);
    for (const CdTrackSpan& t : tracks) {
        if (cdio_read_audio_sectors(d.cdio, sector.data(), t.firstSector, 1) != DRIVER_OP_SUCCESS) {
            Close();
            return Fail(error, "The CD image is damaged or incomplete.");
        }
        if (driver == DRIVER_CDRDAO && std::memcmp(sector.data(), "RIFF", 4) == 0) {
            Close();
            return Fail(error, "CD images whose audio is in WAV files cannot be played.");
        }
    }
    tracks_ = std::move(tracks);
    for (const CdTrackSpan& t : tracks_) audioSectors_ += t.sectors;
    return true;
}

void CdDisc::ReadSectors(int64_t first, int32_t count, uint8_t* out) {
    int64_t trackStart = 0;  // audio sector where the track below begins
    for (const CdTrackSpan& track : tracks_) {
        if (count <= 0) return;
        const int64_t trackEnd = trackStart + track.sectors;
        if (first < trackEnd) {
            const auto run = static_cast<int32_t>(std::min<int64_t>(count, trackEnd - first));
            impl_->ReadRun(static_cast<lsn_t>(track.firstSector + (first - trackStart)), run, out);
            out += static_cast<size_t>(run) * kSectorBytes;
            first += run;
            count -= run;
        }
        trackStart = trackEnd;
    }
    // Past the end of the audio.
    if (count > 0) std::memset(out, 0, static_cast<size_t>(count) * kSectorBytes);
}

}  // namespace platform::cd
