#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/DeckLink.h"
#include "engine/JogGesture.h"
#include "platform/Messages.h"

namespace platform {
class MessagePort;
}

namespace engine {

class Engine;

// One deck's transport: what it holds (file or nothing), play and pause,
// reverse play, the cue point, the jog dial, winding, seeking, the tempo, the
// time and position shown and the lit turntable lamp. It turns the user's
// actions into engine operations, reached through messages to the main
// window so that all of them run there, and it is the deck the engine and
// the main window talk to. A View shows its state and supplies its timers
// and dialogs; without one it runs headless. UI thread only.
class DeckTransport final : public DeckLink {
public:
    enum class SourceKind { Cd = 0, File = 1, None = 2 };

    // The source chooser's entries: "Nothing Loaded", "Browse...", one per CD
    // drive, "Open CD Image...", then the loaded file's (or CD image's) path
    // once there is one.
    static constexpr int kNothingLoadedEntry = 0;
    static constexpr int kBrowseEntry = 1;
    int DriveEntry(int drive) const { return kBrowseEntry + 1 + drive; }
    int OpenCdImageEntry() const { return DriveEntry(static_cast<int>(driveNames_.size())); }
    int PathEntry() const { return OpenCdImageEntry() + 1; }
    std::vector<std::string> ChooserTexts() const;

    // What a view shows; Changed() names the parts to show again.
    enum Part : unsigned {
        kButtons = 1u << 0,      // play/pause, reverse (and whether it is enabled), cue
        kTime = 1u << 1,         // play and cue times and which one is shown
        kSlide = 1u << 2,        // the position slide's value
        kCueMark = 1u << 3,      // the slide's cue mark and the pending-change blink
        kChooser = 1u << 4,      // the source chooser's entries and selection
        kLamps = 1u << 5,        // which lamp is lit
        kLampColours = 1u << 6,  // the lamps get the deck's colours again
        kTempo = 1u << 7,        // the tempo percent text
        kTrackNumber = 1u << 8,
        kAll = (1u << 9) - 1,
    };

    // The transport's timers, run by the view; it calls OnTimer when one fires.
    enum class Timer { CueBlink, Wind, PendingBlink, RefreshAfterLoad, JogIdle, JogRelease, CdLoaded, Count };

    // How the transport shows itself and asks the user. Every function has
    // nothing to do by default, so a test shows only what it looks at.
    class View {
    public:
        virtual ~View() = default;
        virtual void Changed(unsigned /*parts*/) {}
        // Starts (or restarts) a timer: once, or every `milliseconds`.
        virtual void StartTimer(Timer /*timer*/, int /*milliseconds*/, bool /*once*/) {}
        virtual void StopTimer(Timer /*timer*/) {}
        // The file dialog: the files chosen, none when cancelled.
        virtual std::vector<std::string> ChooseFiles() { return {}; }
        // Tells the user the chosen file is no audio; returns once read.
        virtual void TellFileNotRecognized() {}
        // Tells the user the loaded file can no longer be read; returns at once.
        virtual void TellFileUnreadable(const std::string& /*path*/) {}
        // The CD image dialog: the image chosen, empty when cancelled.
        virtual std::string ChooseCdImage() { return {}; }
        // Tells the user why no CD could be read; returns once read.
        virtual void TellCdUnreadable(const std::string& /*why*/) {}
        virtual void FocusChooser() {}
    };

    static constexpr int kCueBlinkMs = 300;
    static constexpr int kCueBlinkTicks = 10;
    static constexpr int kWindMs = 200;
    static constexpr double kWindSeconds = 1.0;  // per wind tick
    static constexpr int kPendingBlinkMs = 300;
    static constexpr int kRefreshAfterLoadMs = 3000;
    static constexpr int kCdLoadedMs = 2000;  // the CD's total length shows this long
    static constexpr int kJogIdleMs = static_cast<int>(JogGesture::kIdleSeconds * 1000);
    static constexpr int kCdSampleRate = 44'100;

    // Seconds on a steady clock, as the jog dial's gestures are timed.
    using Clock = std::function<double()>;

    DeckTransport(int deck, Engine& engine, platform::MessagePort& mainWindow, Clock clock);
    DeckTransport(const DeckTransport&) = delete;
    DeckTransport& operator=(const DeckTransport&) = delete;

    // The view shows everything at once; nullptr runs headless.
    void SetView(View* view);
    // A clock of the caller's: the wheel's pauses are then judged only as the
    // deck's blocks play, never by a timer, so a test hears the same on every run.
    void SetClock(Clock clock);

    // The user's actions. Each waits for the engine (a fade, a priming) while
    // the window goes on dispatching; an action asked for meanwhile is
    // ignored, except the reverse play button, whose last state is carried out.
    void ChooseSource(int entry);
    // Play and pause. `internal` marks a pause the program makes (a seek, a
    // load): it never returns to the cue point.
    void TogglePlay(bool internal);
    void SetCue(bool on);
    // The reverse play button pressed (true) or released.
    void SetReverse(bool on);
    // The position slide moved by the user, and its release: the play
    // position goes there.
    void SetSlide(double fraction) { slide_ = fraction; }
    void BeginSlideDrag() { dragging_ = true; }
    void SeekToSlide();
    // Fast forward (+1) or rewind (-1) held; 0 when released.
    void Wind(int direction);
    void JogPressed();
    void JogReleased();
    void Jog(double angle);
    void SetTempo(double percent);
    void OnTimer(Timer timer);

    // Loads a file into the deck; false when it cannot be decoded.
    bool LoadFile(const std::string& path);
    // Loads the CD in drive `drive` (or, with a drive below 0, the CD image
    // `image`) and reads it from track 1; its tracks are listed in the play
    // list. False, once the user has been told why, when there is no audio CD.
    bool LoadCd(int drive, const std::string& image);
    void ShowTrackNumber(int number);
    void SetPath(const std::string& path);
    void SelectCdTrack(int track, double trackLengthSeconds);
    // The source reached the end of its track while earlier blocks still play.
    void TrackChangePending();
    // The time shown, given the bytes written ahead of the listener.
    void ShowTime(int bytesAhead);

    // The state a view shows.
    bool Playing() const { return playing_; }
    // A transport action is under way (waiting for the engine).
    bool Busy() const { return busy_; }
    bool AtEnd() const { return atEnd_; }
    bool Reversing() const { return reversing_; }
    bool ReverseHeld() const { return reverseWanted_; }
    bool IsTrackChangePending() const { return trackChangePending_; }
    bool PendingBlinkOn() const { return pendingBlinkOn_; }
    double CuePoint() const { return cuePoint_; }
    double CueMark() const { return cueMark_; }
    double Position() const { return position_; }
    double Length() const { return length_; }
    double Slide() const { return slide_; }
    int TimeShown() const { return timeShown_; }  // 0 the play time, 1 the cue time
    SourceKind Kind() const { return kind_; }
    const std::string& Path() const { return path_; }
    const std::string& Title() const { return title_; }
    int CdTrack() const { return cdTrack_; }
    int LitLamp() const { return litLamp_; }
    int TrackNumber() const { return trackNumber_; }
    double Tempo() const { return tempo_; }
    // The path entry's text; empty while the chooser has none.
    const std::string& ChooserPath() const { return chooserPath_; }
    int ChooserEntry() const { return chooserEntry_; }

    // engine::DeckLink
    bool IsPlaying() const override { return playing_; }
    void Pause() override;
    void ShowNothingLoaded() override;
    void TakeLoadedFile(const std::string& path, const std::string& title, double lengthSeconds) override;
    void ResetLeds() override { Show(kLampColours); }
    void OnPrimed(uint32_t sampleRate) override;
    void OnEndOfTrack() override;
    void OnTrackChanged(const std::string& path, const std::string& title, double lengthSeconds) override;
    void OnLengthKnown(double seconds) override;
    void AdvanceLeds() override;
    void RetreatLeds() override;
    void RefreshTime(int bytesWrittenAhead) override;
    bool IsCueOn() const override { return cueOn_; }
    void TogglePlay() override { TogglePlay(false); }
    bool LoadPath(const std::string& path) override { return LoadFile(path); }
    bool LoadCdTrack(const std::string& source, int track) override;
    void OnCdTrackChanged(int track, double lengthSeconds) override;
    void OnTrackChangePending() override { TrackChangePending(); }
    void ShowQueuedTime(int bytesWrittenAhead) override { ShowTime(bytesWrittenAhead); }

private:
    // Runs a user's action unless another is still waiting for the engine.
    template <typename Action>
    void RunAction(Action&& action);
    void DoTogglePlay(bool internal);
    void DoSeekToSlide();
    void DoChooseSource(int entry);
    void SettleReverse();
    void Browse();
    void OpenCdImage();
    void ShowCdTime(int bytesAhead);
    void SeekCd();
    void FillSourceChooser();
    void SelectChooserEntryOfSource();
    void ReturnToCue();
    void EndIdleWheelGesture();
    void EndTrackChangePending();
    void ShowTransportState() { Show(kButtons); }
    void ShowPositionSlide();
    void SetSlideShown(double fraction);
    void SetTimeShown(int shown);
    void StartTimer(Timer timer);
    void StopTimer(Timer timer);
    void Show(unsigned parts) { view_->Changed(parts); }
    intptr_t Send(platform::Message message);

    const int deck_;
    Engine& engine_;
    platform::MessagePort& port_;
    Clock clock_;
    bool idleByTimer_ = true;  // the clock is the wall clock: a timer ends an idle wheel gesture
    View headless_;
    View* view_ = &headless_;

    SourceKind kind_ = SourceKind::None;
    std::string path_;
    std::string title_;
    int cdTrack_ = 0;
    int trackNumber_ = 1;
    std::vector<std::string> driveNames_;
    std::string chooserPath_;
    int chooserEntry_ = kNothingLoadedEntry;

    bool playing_ = false;
    bool atEnd_ = false;
    bool busy_ = false;
    bool reversing_ = false;
    bool reverseWanted_ = false;
    bool dragging_ = false;
    int windDirection_ = 0;
    double position_ = 0.0;
    double length_ = 0.0;
    double slide_ = 0.0;

    bool cueOn_ = false;
    double cuePoint_ = 0.0;
    double cueMark_ = 0.0;  // where the slide's cue mark stands, as a fraction
    int cueBlinkCount_ = 0;
    int timeShown_ = 0;

    bool trackChangePending_ = false;
    bool pendingBlinkOn_ = false;
    JogGesture jog_;
    int litLamp_ = 0;
    double tempo_ = 0.0;
};

}  // namespace engine
