// The deck's audio CD: loading a drive's disc or a CD image, the play list's
// CD tracks, seeking inside a track and following the tracks as they play.
#include <algorithm>

#include "engine/DeckTransport.h"
#include "engine/Engine.h"
#include "engine/StreamTime.h"
#include "platform/MessagePort.h"

using platform::Message;

namespace engine {

std::vector<std::string> DeckTransport::ChooserTexts() const {
    std::vector<std::string> texts{"Nothing Loaded", "Browse..."};
    texts.insert(texts.end(), driveNames_.begin(), driveNames_.end());
    texts.emplace_back("Open CD Image...");
    if (!chooserPath_.empty()) texts.push_back(chooserPath_);
    return texts;
}

void DeckTransport::OpenCdImage() {
    Send(Message::BufferLead60);
    const std::string image = view_->ChooseCdImage();
    if (image.empty())
        SelectChooserEntryOfSource();
    else
        LoadCd(-1, image);
    view_->FocusChooser();
    Send(Message::BufferLead20);
}

bool DeckTransport::LoadCd(int drive, const std::string& image) {
    SetCue(false);
    std::string error;
    if (!engine_.LoadCd(deck_, drive, image, error)) {
        // The engine has shown "Nothing Loaded" already.
        kind_ = SourceKind::None;
        view_->TellCdUnreadable(error);
        ShowTransportState();
        return false;
    }
    kind_ = SourceKind::Cd;
    atEnd_ = false;
    const platform::cd::CZelCdSource& cd = engine_.Cd();
    // A drive stays selected in the chooser; an image is shown by its path.
    FillSourceChooser();
    if (drive >= 0) {
        chooserEntry_ = DriveEntry(drive);
        Show(kChooser);
        path_ = engine_.CdSourcePath(deck_);
        EndTrackChangePending();
    } else {
        SetPath(image);
    }
    title_.clear();
    SelectCdTrack(1, cd.TrackLength(deck_, 1));
    // The disc's total length and track count first, then where play starts.
    position_ = cd.TotalLength(deck_);
    SetSlideShown(0.0);
    Show(kTime);
    ShowTrackNumber(cd.TrackCount(deck_));
    StartTimer(Timer::CdLoaded);
    ShowTransportState();
    // Every track goes in the play list, the first selected as loaded.
    port_.Send(Message::AddFileAndSelect, platform::TrackArgs{deck_, 1});
    for (int track = 2; track <= cd.TrackCount(deck_); ++track)
        port_.Send(Message::AddFile, platform::TrackArgs{deck_, track});
    return true;
}

bool DeckTransport::LoadCdTrack(const std::string& source, int track) {
    if (kind_ != SourceKind::Cd || engine_.CdSourcePath(deck_) != source) {
        // Another disc (a track moved here from the other deck): load it first.
        const auto& drives = engine_.Cd().Drives();
        const auto drive =
            std::find_if(drives.begin(), drives.end(), [&](const auto& d) { return d.device == source; });
        const bool loaded =
            drive != drives.end() ? LoadCd(static_cast<int>(drive - drives.begin()), {}) : LoadCd(-1, source);
        if (!loaded) return false;
        StopTimer(Timer::CdLoaded);
    }
    if (track < 1 || track > engine_.Cd().TrackCount(deck_)) return false;
    if (playing_) DoTogglePlay(true);
    engine_.PlayCdFrom(deck_, track, 0.0);
    SelectCdTrack(track, engine_.Cd().TrackLength(deck_, track));
    atEnd_ = false;
    position_ = 0.0;
    SetSlideShown(0.0);
    Show(kTime);
    ShowTrackNumber(track);
    ShowTransportState();
    return true;
}

void DeckTransport::SelectCdTrack(int track, double trackLengthSeconds) {
    SetCue(false);
    EndTrackChangePending();
    cdTrack_ = track;
    length_ = trackLengthSeconds;
}

void DeckTransport::OnCdTrackChanged(int track, double lengthSeconds) {
    SelectCdTrack(track, lengthSeconds);
    ShowTrackNumber(track);
}

void DeckTransport::SeekCd() {
    // Inside the track the deck shows, to the sector.
    const bool playing = playing_;
    if (playing) DoTogglePlay(true);
    EndTrackChangePending();
    engine_.PlayCdFrom(deck_, cdTrack_, slide_ * length_);
    atEnd_ = false;
    position_ = slide_ * length_;
    Show(kTime);
    if (playing) DoTogglePlay(true);
    dragging_ = false;
}

void DeckTransport::ShowCdTime(int bytesAhead) {
    // The disc position of what is heard, less where the deck's track starts.
    if (dragging_) return;
    const DiscBuffer& ring = engine_.Ring(deck_);
    const double heard = static_cast<double>(ring.CdReaderPosition()) - DiscBufferedBytes(ring, false, {}) -
                         bytesAhead - static_cast<double>(engine_.Cd().TrackStartByte(deck_, cdTrack_));
    position_ = std::clamp(heard / kCdBytesPerSecond, 0.0, std::max(length_, 0.0));
    Show(kTime);
}

}  // namespace engine
