#pragma once

#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>
#include <string>

#include "deck/LedRing.h"
#include "engine/DeckTransport.h"
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
// transport buttons, the jog dial, the tempo and position slides, the time and
// track displays and the ring of turntable lamps. It shows its DeckTransport's
// state, hands the user's actions to it and runs its timers and dialogs.
// UI thread only.
class CZelDeck2 final : public CZelToolWindow, private engine::DeckTransport::View {
    Q_OBJECT
public:
    static constexpr double kTempoRange = 16.0;  // percent either way

    CZelDeck2(int deck, engine::Engine& engine, platform::MessagePort& mainWindow, QWidget* parent = nullptr);
    ~CZelDeck2() override;

    engine::DeckTransport& Transport() { return transport_; }
    const engine::DeckTransport& Transport() const { return transport_; }
    int DeckIndex() const { return deck_; }
    const CZelHelpTexts& HelpTexts() const { return helpTexts_; }

    // The file dialog; tests put their own choice here.
    using FileChooser = std::function<QStringList(QWidget* parent, const QString& filter)>;
    void SetFileChooser(FileChooser chooser) { chooseFiles_ = std::move(chooser); }
    // The CD image dialog; tests put their own choice here.
    using CdImageChooser = std::function<QString(QWidget* parent)>;
    void SetCdImageChooser(CdImageChooser chooser) { chooseCdImage_ = std::move(chooser); }
    // The file dialog's filter: our files, then all files.
    static QString FileFilter();

    // What the main window asks of its decks.
    bool LoadFile(const QString& path) { return transport_.LoadFile(path.toStdString()); }
    void ChooseSource(int entry) { transport_.ChooseSource(entry); }
    bool Playing() const { return transport_.Playing(); }
    bool Busy() const { return transport_.Busy(); }
    void TrackChangePending() { transport_.TrackChangePending(); }
    void ShowTime(int bytesAhead) { transport_.ShowTime(bytesAhead); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    using Timer = engine::DeckTransport::Timer;

    // engine::DeckTransport::View
    void Changed(unsigned parts) override;
    void StartTimer(Timer timer, int milliseconds, bool once) override;
    void StopTimer(Timer timer) override;
    std::vector<std::string> ChooseFiles() override;
    void TellFileNotRecognized() override;
    void TellFileUnreadable(const std::string& path) override;
    std::string ChooseCdImage() override;
    void TellCdUnreadable(const std::string& why) override;
    void FocusChooser() override;

    void CreateControls();
    void RegisterControls();
    void ConnectControls();
    void ShowButtons();
    void ShowTimes();
    void ShowChooser();
    void ShowLamps(bool colours);
    void PlaceLeds();

    const int deck_;
    platform::MessagePort& port_;
    engine::DeckTransport transport_;
    FileChooser chooseFiles_;
    CdImageChooser chooseCdImage_;
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
    int shownLed_ = -1;
    std::array<QTimer, static_cast<size_t>(Timer::Count)> timers_;
};
