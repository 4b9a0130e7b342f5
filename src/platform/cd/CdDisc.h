#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::cd {

// A CD drive as libcdio finds it.
struct CdDriveInfo {
    std::string device;  // e.g. /dev/sr0
    std::string name;    // vendor and model, else the device path
};

// The CD drives of this machine, in libcdio's order, without virtual
// recorders ("Image Recorder"). Opens each drive briefly to ask its name.
std::vector<CdDriveInfo> FindCdDrives();

// One audio track: its first sector on the disc and how many sectors it runs
// (to the next track's start, the last audio track to the end of the audio).
struct CdTrackSpan {
    int32_t firstSector = 0;
    int32_t sectors = 0;
};

// One opened disc, a drive's or a CD image's, through libcdio: its audio
// tracks and the reading of their sectors. Drives are read through paranoia
// (jitter and scratch repair, a sector it cannot repair skipped); images with
// plain audio reads, byte for byte.
//
// Audio sectors are counted over the audio tracks laid end to end: sector 0 is
// the first of audio track 1, data tracks are left out.
//
// One thread at a time; instances are independent, so two may read the same
// image at once.
class CdDisc {
public:
    CdDisc();
    ~CdDisc();
    CdDisc(const CdDisc&) = delete;
    CdDisc& operator=(const CdDisc&) = delete;

    // Close first; false with one sentence for the user in `error` when the
    // disc cannot be played (no disc, no audio track, a damaged image, ...).
    bool OpenDrive(const std::string& device, std::string& error);
    bool OpenImage(const std::string& path, std::string& error);
    // An image read the way a drive is read, through paranoia: the drive path,
    // tried where there is no drive.
    bool OpenImageAsDrive(const std::string& path, std::string& error);
    void Close();
    bool IsOpen() const;

    // The audio tracks in disc order; fixed while open.
    const std::vector<CdTrackSpan>& Tracks() const { return tracks_; }
    int64_t AudioSectors() const { return audioSectors_; }

    // Fills `out` with `count` sectors (count x 2,352 bytes) of 16-bit stereo
    // little-endian audio from audio sector `first` on. Sectors past the end of
    // the audio, and sectors that cannot be read, come out as silence. Does
    // not allocate.
    void ReadSectors(int64_t first, int32_t count, uint8_t* out);

private:
    // Paranoia on the opened libcdio handle, and the table as it sees it.
    bool OpenThroughParanoia(std::string& error);

    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::vector<CdTrackSpan> tracks_;
    int64_t audioSectors_ = 0;
};

}  // namespace platform::cd
