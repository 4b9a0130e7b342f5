#pragma once

#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>
#include <string>

#include "deck/LedRing.h"
#include "engine/DeckLink.h"
#include "platform/Messages.h"
#include "ui/CZelHelpTexts.h"
#include "ui/CZelToolWindow.h"

class CZelButton;
class CZelDualTextIndicator;
class CZelKnob;
class CZelLed;
class CZelProportionalLayout;
class CZelSlide;
class CZelTextIndicator;
class QComboBox;

namespace engine {
class Engine;
}

// The window of one deck, "Deck A" or "Deck B": the source chooser, the
// transport (play/pause, cue, reverse, jog, fast forward and rewind, seeking,
// previous and next track), the tempo, the time and track displays and the
// ring of turntable lamps. It holds the deck's transport state and turns the
// user's actions into engine operations, reached through messages to the main
// window so that all of them run there. UI thread only.
class CZelDeck2 final : public CZelToolWindow, public engine::DeckLink {
    Q_OBJECT
public:
    enum class SourceKind { Cd = 0, File = 1, None = 2 };

    // Numbers attached to the source chooser's entries.
    static constexpr int kNothingLoadedEntry = 0;
    static constexpr int kBrowseEntry = 1;
    static constexpr int kPathEntry = -1;

    // Transport timers.
    static constexpr int kCueBlinkMs = 300;
    static constexpr int kCueBlinkTicks = 10;
    static constexpr int kWindMs = 200;
    static constexpr int kPendingBlinkMs = 300;
    static constexpr int kRefreshAfterLoadMs = 3000;
    // Jogging longer than this while playing decides the play direction.
    static constexpr double kJogDecisionSeconds = 0.3;
    // A wheel that stops turning the jog dial for this long has let it go.
    static constexpr double kJogIdleSeconds = 0.4;
    // One turn of the jog dial, in seconds of cue movement.
    static constexpr double kJogTurnSeconds = 2.0;
    static constexpr double kTempoRange = 16.0;  // percent either way

    CZelDeck2(int deck, engine::Engine& engine, platform::MessagePort& mainWindow, QWidget* parent = nullptr);
    ~CZelDeck2() override;

    int DeckIndex() const { return deck_; }
    const CZelHelpTexts& HelpTexts() const { return helpTexts_; }

    // The file dialog; tests put their own choice here.
    using FileChooser = std::function<QStringList(QWidget* parent, const QString& filter)>;
    void SetFileChooser(FileChooser chooser) { chooseFiles_ = std::move(chooser); }
    // The file dialog's filter: our files, then all files.
    static QString FileFilter();
    // Seconds on a steady clock, as the jog dial's gestures are timed; tests
    // put their own clock here.
    using Clock = std::function<double()>;
    // With a clock of their own the wheel's pauses are judged only as the
    // deck's blocks play, never by a window timer, so a test hears the same
    // on every run.
    void SetClock(Clock clock) {
        clock_ = std::move(clock);
        wallClock_ = false;
    }

    // Loads a file into the deck; false when it cannot be decoded.
    bool LoadFile(const QString& path);
    // The user's actions. Each waits for the engine (a fade, a priming) while
    // the window goes on dispatching; an action asked for meanwhile is
    // ignored, except the reverse play button, whose last state is carried out.
    // Chooses an entry of the source chooser.
    void ChooseSource(int index);
    // Play and pause. `internal` marks a pause the program makes (a seek, a
    // load): it never returns to the cue point.
    void TogglePlay(bool internal);
    // Moves the play position to the position slide's value.
    void SeekToSlide();
    void ApplyTempo();
    // The track's end reached the play point.
    void EndOfTrack();
    // The source reached the end of its track while earlier blocks still play.
    void TrackChangePending();
    void ShowTime(int bytesAhead);
    void ShowPositionSlide();
    void ShowTrackNumber(int number);
    void SetPath(const QString& path);
    void SelectCdTrack(int track, double trackLengthSeconds);

    bool Playing() const { return playing_; }
    // A transport action is under way (waiting for the engine).
    bool Busy() const { return busy_; }
    bool AtEnd() const { return atEnd_; }
    bool Reversing() const { return reversing_; }
    bool IsTrackChangePending() const { return trackChangePending_; }
    double CuePoint() const { return cuePoint_; }
    double Position() const { return position_; }
    double Length() const { return length_; }
    SourceKind Kind() const { return kind_; }
    const QString& Path() const { return path_; }
    int LitLed() const { return litLed_; }

    // engine::DeckLink
    bool IsPlaying() const override { return playing_; }
    void Pause() override;
    void ShowNothingLoaded() override;
    void TakeLoadedFile(const std::string& path, const std::string& title, double lengthSeconds) override;
    void ResetLeds() override;
    void OnPrimed(uint32_t sampleRate) override;
    void OnEndOfTrack() override { EndOfTrack(); }
    void OnTrackChanged(const std::string& path, const std::string& title, double lengthSeconds) override;
    void OnLengthKnown(double seconds) override;
    void AdvanceLeds() override;
    void RetreatLeds() override;
    void RefreshTime(int bytesWrittenAhead) override;
    bool IsCueOn() const override;
    void TogglePlay() override { TogglePlay(false); }
    bool LoadPath(const std::string& path) override { return LoadFile(QString::fromStdString(path)); }
    void OnTrackChangePending() override { TrackChangePending(); }
    void ShowQueuedTime(int bytesWrittenAhead) override { ShowTime(bytesWrittenAhead); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Runs a user's action unless another is still waiting for the engine.
    template <typename Action>
    void Transport(Action&& action);
    void DoTogglePlay(bool internal);
    void DoSeekToSlide();
    // The loaded file cannot be read again (gone, and not kept open).
    void ShowFileUnreadable();
    void DoChooseSource(int index);
    void SettleReverse();
    void CreateControls();
    void RegisterControls();
    void ConnectControls();
    void FillSourceChooser();
    void SelectChooserEntryOfSource();
    void Browse();
    void UnloadSource();
    void OnCueChanged(bool on);
    void OnCueBlink();
    void OnJog(double angle);
    void OnJogReleased();
    // A jog gesture starts: by a press, or by the wheel after a pause.
    void BeginJog();
    // A wheel gesture whose wheel has rested long enough ends, as a release.
    void EndIdleWheelGesture();
    // The reverse play button pressed or released, by the mouse or the jog dial.
    void OnReverseButton(bool on);
    void StartWinding(QTimer& timer);
    void StopWinding(QTimer& timer);
    void Wind(double seconds);
    void ReturnToCue();
    void EndTrackChangePending();
    void ShowPlayTime();
    void ShowCueTime();
    void ShowTransportState();
    void PlaceLeds();
    intptr_t Send(platform::Message message);
    intptr_t Send(platform::Message message, platform::Payload payload);

    const int deck_;
    engine::Engine& engine_;
    platform::MessagePort& port_;
    FileChooser chooseFiles_;
    Clock clock_;
    CZelHelpTexts helpTexts_;
    CZelProportionalLayout* layout_ = nullptr;

    QComboBox* chooser_ = nullptr;
    CZelButton* cue_ = nullptr;
    CZelKnob* jog_ = nullptr;
    CZelButton* fastForward_ = nullptr;
    CZelButton* next_ = nullptr;
    CZelButton* play_ = nullptr;
    CZelButton* previous_ = nullptr;
    CZelButton* reverse_ = nullptr;
    CZelButton* rewind_ = nullptr;
    CZelTextIndicator* tempoPercent_ = nullptr;
    CZelSlide* tempoSlide_ = nullptr;
    CZelDualTextIndicator* time_ = nullptr;
    CZelTextIndicator* trackNumber_ = nullptr;
    CZelSlide* positionSlide_ = nullptr;
    std::array<CZelLed*, deck::kLedCount> leds_{};
    int litLed_ = 0;

    QTimer cueBlinkTimer_;
    QTimer fastForwardTimer_;
    QTimer pendingBlinkTimer_;
    QTimer rewindTimer_;
    QTimer refreshTimer_;
    QTimer jogIdleTimer_;

    SourceKind kind_ = SourceKind::None;
    bool playing_ = false;
    bool atEnd_ = false;
    bool dragging_ = false;
    bool reversing_ = false;
    bool reverseWanted_ = false;
    bool busy_ = false;
    double cuePoint_ = 0.0;
    int cueBlinkCount_ = 0;
    double position_ = 0.0;
    double length_ = 0.0;
    bool trackChangePending_ = false;
    bool pendingBlinkOn_ = false;
    double jogAngle_ = 0.0;
    double jogTime_ = 0.0;
    double jogAccumulated_ = 0.0;
    bool jogHeld_ = false;
    bool wheelGesture_ = false;
    double lastJogAt_ = 0.0;
    bool wallClock_ = true;
    QString path_;
    QString title_;
    int cdTrack_ = 0;
};
