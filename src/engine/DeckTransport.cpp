#include "engine/DeckTransport.h"

#include <algorithm>
#include <iterator>

#include "engine/Engine.h"
#include "engine/LampRing.h"
#include "engine/StreamTime.h"
#include "engine/Tempo.h"
#include "platform/MessagePort.h"

using platform::Message;

namespace engine {

DeckTransport::DeckTransport(int deck, Engine& engine, platform::MessagePort& mainWindow, Clock clock)
    : deck_(deck), engine_(engine), port_(mainWindow), clock_(std::move(clock)) {
    FillSourceChooser();
}

void DeckTransport::SetView(View* view) {
    view_ = view ? view : &headless_;
    Show(kAll);
}

void DeckTransport::SetClock(Clock clock) {
    clock_ = std::move(clock);
    idleByTimer_ = false;
    StopTimer(Timer::JogIdle);
}

intptr_t DeckTransport::Send(Message message) {
    return port_.Send(message, platform::DeckArgs{deck_});
}

void DeckTransport::StartTimer(Timer timer) {
    struct Period {
        int milliseconds;
        bool once;
    };
    // In the order of Timer. The jog release runs once the handling that
    // asked for it has returned.
    static constexpr Period kPeriods[] = {
        {kCueBlinkMs, false}, {kWindMs, false}, {kPendingBlinkMs, false}, {kRefreshAfterLoadMs, true},
        {kJogIdleMs, true},   {0, true},        {kCdLoadedMs, true}};
    static_assert(std::size(kPeriods) == static_cast<size_t>(Timer::Count));
    const Period& period = kPeriods[static_cast<size_t>(timer)];
    view_->StartTimer(timer, period.milliseconds, period.once);
}

void DeckTransport::StopTimer(Timer timer) {
    view_->StopTimer(timer);
}

void DeckTransport::OnTimer(Timer timer) {
    switch (timer) {
        case Timer::CueBlink:
            SetTimeShown(timeShown_ == 0 ? 1 : 0);
            if (++cueBlinkCount_ <= kCueBlinkTicks) return;
            StopTimer(Timer::CueBlink);
            cueBlinkCount_ = 0;
            SetTimeShown(!playing_ && cueOn_ ? 1 : 0);
            break;
        case Timer::Wind:
            // Winding moves only the slide while the button is held; the
            // sound follows when it is released.
            if (length_ > 0.0)
                SetSlideShown(std::clamp(slide_ + windDirection_ * kWindSeconds / length_, 0.0, 1.0));
            break;
        case Timer::PendingBlink:
            pendingBlinkOn_ = !pendingBlinkOn_;
            Show(kCueMark);
            break;
        case Timer::RefreshAfterLoad:
            Send(Message::ReportQueuedBytes);
            break;
        case Timer::JogIdle:
            EndIdleWheelGesture();
            if (jog_.WheelGesture()) StartTimer(Timer::JogIdle);
            break;
        case Timer::JogRelease:
            JogReleased();
            break;
        case Timer::CdLoaded:
            // After the CD's total length and track count: where play starts.
            position_ = 0.0;
            Show(kTime);
            ShowTrackNumber(cdTrack_);
            break;
        case Timer::Count:
            break;
    }
}

template <typename Action>
void DeckTransport::RunAction(Action&& action) {
    if (busy_) {
        ShowTransportState();
        return;
    }
    busy_ = true;
    action();
    SettleReverse();
    busy_ = false;
    ShowTransportState();
}

// ---- Source chooser ----

void DeckTransport::FillSourceChooser() {
    driveNames_.clear();
    for (const auto& drive : engine_.Cd().Drives()) driveNames_.push_back(drive.name);
    chooserPath_.clear();
    chooserEntry_ = kNothingLoadedEntry;
    Show(kChooser);
}

void DeckTransport::SelectChooserEntryOfSource() {
    const int drive = kind_ == SourceKind::Cd ? engine_.CdDrive(deck_) : -1;
    if (drive >= 0 && drive < static_cast<int>(driveNames_.size()))
        chooserEntry_ = DriveEntry(drive);
    else
        chooserEntry_ = !path_.empty() && !chooserPath_.empty() ? PathEntry() : kNothingLoadedEntry;
    Show(kChooser);
}

void DeckTransport::ChooseSource(int entry) {
    RunAction([&] { DoChooseSource(entry); });
}

void DeckTransport::DoChooseSource(int entry) {
    const int entries = chooserPath_.empty() ? PathEntry() : PathEntry() + 1;
    if (entry < 0 || entry >= entries) return;
    chooserEntry_ = entry;
    Show(kChooser);
    if (entry == kNothingLoadedEntry) {
        SetCue(false);
        if (playing_) DoTogglePlay(true);
        if (kind_ != SourceKind::None) engine_.Unload(deck_);
        kind_ = SourceKind::None;
        ShowNothingLoaded();
    } else if (entry == kBrowseEntry) {
        Browse();
    } else if (entry == OpenCdImageEntry()) {
        OpenCdImage();
    } else if (entry < OpenCdImageEntry()) {
        LoadCd(entry - DriveEntry(0), {});
    }
    // The loaded file chosen again: nothing changes.
}

void DeckTransport::Browse() {
    Send(Message::DeckBrowsing);
    Send(Message::BufferLead60);
    const std::vector<std::string> files = view_->ChooseFiles();
    if (files.empty()) {
        SelectChooserEntryOfSource();
    } else if (!LoadFile(files.front())) {
        view_->TellFileNotRecognized();
        FillSourceChooser();
    } else {
        Send(Message::AddFileAndSelect);
        for (size_t i = 1; i < files.size(); ++i)
            port_.Send(Message::AddFile, platform::FileArgs{deck_, files[i]});
    }
    view_->FocusChooser();
    Send(Message::BufferLead20);
}

bool DeckTransport::LoadFile(const std::string& path) {
    const bool loaded = engine_.LoadFile(deck_, path);
    if (loaded) {
        kind_ = SourceKind::File;
        atEnd_ = false;
        StartTimer(Timer::RefreshAfterLoad);
    }
    ShowTransportState();
    return loaded;
}

void DeckTransport::ShowNothingLoaded() {
    kind_ = SourceKind::None;
    playing_ = false;
    atEnd_ = false;
    path_.clear();
    title_.clear();
    length_ = 0.0;
    position_ = 0.0;
    EndTrackChangePending();
    SetSlideShown(0.0);
    FillSourceChooser();
    Show(kTime | kButtons);
}

void DeckTransport::SetPath(const std::string& path) {
    SetCue(false);
    if (!path.empty()) {
        chooserPath_ = path;
        chooserEntry_ = PathEntry();
        Show(kChooser);
    }
    path_ = path;
    EndTrackChangePending();
}

void DeckTransport::TakeLoadedFile(const std::string& path, const std::string& title, double lengthSeconds) {
    SetPath(path);
    title_ = title;
    length_ = lengthSeconds;
    position_ = 0.0;
    Show(kTime);
    SetSlideShown(0.0);
}

void DeckTransport::OnTrackChanged(const std::string& path, const std::string& title, double lengthSeconds) {
    SetPath(path);
    title_ = title;
    length_ = lengthSeconds;
}

void DeckTransport::OnLengthKnown(double seconds) {
    // The slide and the cue mark are fractions of the length: they follow it.
    length_ = seconds;
    ShowPositionSlide();
    if (cueOn_ && length_ > 0.0) {
        cueMark_ = cuePoint_ / length_;
        Show(kCueMark);
    }
}

void DeckTransport::ShowTrackNumber(int number) {
    if (number == -1) return;
    trackNumber_ = number;
    Show(kTrackNumber);
}

// ---- Play, pause, cue ----

void DeckTransport::TogglePlay(bool internal) {
    RunAction([&] { DoTogglePlay(internal); });
}

void DeckTransport::Pause() {
    if (playing_) DoTogglePlay(true);
}

void DeckTransport::DoTogglePlay(bool internal) {
    if (kind_ == SourceKind::None) return;
    if (!playing_) {
        atEnd_ = false;
        playing_ = true;
        ShowTransportState();
        // Not started (the source will never be ready): the deck stays stopped.
        if (!Send(Message::StartForward)) playing_ = false;
        SetTimeShown(0);
        return;
    }
    if (reversing_) {
        // Paused while playing backwards: the forward buffers are already stopped.
        reversing_ = false;
        reverseWanted_ = false;
        Send(Message::StopBackward);
    }
    playing_ = false;
    ShowTransportState();
    Send(Message::StopForward);
    if (!internal && cueOn_) ReturnToCue();
}

void DeckTransport::ReturnToCue() {
    if (length_ <= 0.0) return;
    dragging_ = true;
    SetSlideShown(cuePoint_ / length_);
    DoSeekToSlide();
    SetTimeShown(1);
}

void DeckTransport::SetCue(bool on) {
    // Nothing to cue while the chooser shows nothing loaded.
    if (on && chooserEntry_ == kNothingLoadedEntry) on = false;
    cueOn_ = on;
    cueBlinkCount_ = 0;
    if (on) {
        cuePoint_ = position_;
        StartTimer(Timer::CueBlink);
    } else {
        cuePoint_ = 0.0;
        StopTimer(Timer::CueBlink);
        SetTimeShown(0);
    }
    if (length_ > 0.0) cueMark_ = cuePoint_ / length_;
    Show(kButtons | kTime | kCueMark);
}

void DeckTransport::SetTimeShown(int shown) {
    timeShown_ = shown;
    Show(kTime);
}

// ---- Seeking and winding ----

void DeckTransport::SeekToSlide() {
    RunAction([&] { DoSeekToSlide(); });
}

void DeckTransport::DoSeekToSlide() {
    if (kind_ == SourceKind::Cd) {
        SeekCd();
        return;
    }
    if (kind_ != SourceKind::File) {
        dragging_ = false;
        return;
    }
    const bool wasPlaying = playing_;
    if (wasPlaying) DoTogglePlay(true);
    // The engine goes back to this deck's file should its source have gone on
    // into the next one or read to the end.
    EndTrackChangePending();
    if (!engine_.SeekFile(deck_, slide_)) {
        dragging_ = false;
        view_->TellFileUnreadable(path_);
        return;
    }
    atEnd_ = false;
    position_ = slide_ * length_;
    Show(kTime);
    if (wasPlaying) DoTogglePlay(true);
    dragging_ = false;
}

void DeckTransport::Wind(int direction) {
    if (direction != 0) {
        if (kind_ == SourceKind::None || length_ <= 0.0) return;
        dragging_ = true;
        windDirection_ = direction;
        StartTimer(Timer::Wind);
        return;
    }
    if (windDirection_ == 0) return;
    windDirection_ = 0;
    StopTimer(Timer::Wind);
    SeekToSlide();
}

void DeckTransport::SetSlideShown(double fraction) {
    slide_ = fraction;
    Show(kSlide);
}

// ---- Reverse play and the jog dial ----

void DeckTransport::SetReverse(bool on) {
    reverseWanted_ = on;
    if (busy_) {
        // The action in progress carries out the last wish.
        ShowTransportState();
        return;
    }
    busy_ = true;
    SettleReverse();
    busy_ = false;
    ShowTransportState();
}

void DeckTransport::SettleReverse() {
    // The button may go down and up again while the engine fades: each pass
    // brings the deck to what the button shows now.
    while (reversing_ != reverseWanted_) {
        if (reverseWanted_ && !playing_) {
            reverseWanted_ = false;
            break;
        }
        reversing_ = reverseWanted_;
        bool started = false;
        if (reversing_) {
            Send(Message::StopForward);
            started = Send(Message::StartBackward) != 0;
        } else {
            Send(Message::StopBackward);
            started = Send(Message::ResumeForward) != 0;
        }
        if (!started) {
            // The engine could not play (its source stopped before it was
            // ready): the deck shows what it does, which is nothing.
            playing_ = reversing_ = reverseWanted_ = false;
            break;
        }
    }
}

void DeckTransport::JogPressed() {
    StopTimer(Timer::JogIdle);
    jog_.Press(clock_());
}

void DeckTransport::Jog(double angle) {
    const JogGesture::Move move = jog_.Turn(angle, clock_(), playing_);
    if (!jog_.Held() && idleByTimer_) StartTimer(Timer::JogIdle);
    if (move.decides) {
        SetReverse(move.step < 0.0);
    } else if (cueOn_) {
        cuePoint_ = std::clamp(cuePoint_ + move.step, 0.0, std::max(length_, 0.0));
        if (length_ > 0.0) cueMark_ = cuePoint_ / length_;
        Show(kTime | kCueMark);
    }
}

void DeckTransport::JogReleased() {
    jog_.Release();
    if (!playing_ && cueOn_) {
        // A cue point moved with the dial becomes the play position.
        RunAction([&] { ReturnToCue(); });
    } else if (playing_) {
        SetReverse(false);
    }
}

void DeckTransport::EndIdleWheelGesture() {
    // Called as blocks play, inside the engine's handling of a notification:
    // the release acts once that handling has returned.
    if (jog_.EndIfIdle(clock_())) StartTimer(Timer::JogRelease);
}

// ---- Tempo ----

void DeckTransport::SetTempo(double percent) {
    tempo_ = percent;
    const int rate = kind_ == SourceKind::Cd ? kCdSampleRate : engine_.FileSource(deck_).SampleRate();
    port_.Send(Message::TempoChanged, platform::TempoArgs{deck_, TempoFrequency(percent, rate)});
    Show(kTempo);
}

void DeckTransport::OnPrimed(uint32_t) {
    SetTempo(tempo_);
}

// ---- What the engine reports ----

void DeckTransport::OnEndOfTrack() {
    // This runs inside the handling of a play notification: the stop is posted.
    while (!port_.Post(Message::StopForward, platform::DeckArgs{deck_}) && !port_.IsClosed()) {
    }
    playing_ = false;
    EndTrackChangePending();
    atEnd_ = true;
    ShowTransportState();
}

void DeckTransport::TrackChangePending() {
    trackChangePending_ = true;
    StartTimer(Timer::PendingBlink);
}

void DeckTransport::EndTrackChangePending() {
    StopTimer(Timer::PendingBlink);
    pendingBlinkOn_ = false;
    trackChangePending_ = false;
    Show(kCueMark);
}

void DeckTransport::ShowTime(int bytesAhead) {
    if (kind_ == SourceKind::Cd) ShowCdTime(bytesAhead);
    if (dragging_ || kind_ != SourceKind::File) return;
    CZelFileSource& source = engine_.FileSource(deck_);
    const int buffered = DiscBufferedBytes(engine_.Ring(deck_), trackChangePending_, path_) + bytesAhead;
    position_ = std::max(0.0, PlayPositionSeconds(source.PositionSeconds(), buffered, source.SampleRate()));
    Show(kTime);
}

void DeckTransport::ShowPositionSlide() {
    if (dragging_ || length_ <= 0.0) return;
    SetSlideShown(std::clamp(position_ / length_, 0.0, 1.0));
}

void DeckTransport::RefreshTime(int bytesWrittenAhead) {
    ShowTime(bytesWrittenAhead);
    ShowPositionSlide();
}

// ---- Turntable lamps ----

void DeckTransport::AdvanceLeds() {
    EndIdleWheelGesture();
    litLamp_ = NextLamp(litLamp_);
    Show(kLamps);
}

void DeckTransport::RetreatLeds() {
    EndIdleWheelGesture();
    litLamp_ = PreviousLamp(litLamp_);
    Show(kLamps);
}

}  // namespace engine
