#pragma once

#include <QSize>

#include <array>
#include <optional>

class CZelButton;
class CZelGraph;
class CZelLed;
class CZelHelpTexts;
class CZelProportionalLayout;
class CZelSlide;
class QLabel;
class QWidget;

namespace output {
class CZelMixerControls;
}

namespace app {

// The main window's own controls, made from one table of names, captions,
// places and help texts: the show buttons, the mixer's slides and graph, the
// volumes, balance and processor load, and the devices line. The window binds
// them; this only makes, places and shows them. UI thread only.
class MainWindowControls {
public:
    // The window size the places and text sizes are drawn for.
    static constexpr QSize kDesignSize{300, 460};
    static constexpr int kLampsPerDeck = 10;

    enum Id {
        kShowEqualizerA,
        kShowAnalyzer,
        kShowEqualizerB,
        kShowEffectsA,
        kShowPlayList,
        kShowEffectsB,
        kShowSoundDevices,
        kLevelA,
        kLevelB,
        kGraph,
        kCurve,
        kCueOn,
        kMainCrossFader,
        kHeadphonesCrossFader,
        kMasterVolume,
        kHeadphonesVolume,
        kBalance,
        kCpuMeter,
        kCpuCaption,
        kCount
    };

    // A button that shows a tool window, and the window's code and deck (-1: shared).
    struct ShowButton {
        Id id;
        int code;
        int deck;
    };
    static const std::array<ShowButton, 6> kShowButtons;

    // Gives `window` the dark panel, makes every control as its child, places
    // it in a proportional layout and registers its help texts.
    void Create(QWidget& window, CZelHelpTexts& helpTexts);

    CZelSlide* Slide(Id id) const;
    CZelButton* Button(Id id) const;
    CZelGraph* Graph() const;
    QLabel* Devices() const { return devices_; }
    // A deck's level lamps, the lowest first.
    const std::array<CZelLed*, kLampsPerDeck>& Lamps(int deck) const { return lamps_[deck]; }
    // The button that shows the tool window of `code` (and `deck`), if any.
    CZelButton* ShowButtonOf(int code, int deck) const;
    int MainCursor() const { return mainCursor_; }
    int CueCursor() const { return cueCursor_; }

    // The slides, the cue switch and the graph as the mixer holds them,
    // without a slide's notification driving anything.
    void ShowMixerState(output::CZelMixerControls& mixer);
    // The graph's two curves, from the main cross fader.
    void DrawCurves(const output::CZelMixerControls& mixer);
    // A volume slide as a device choice sets it (the value: if it has one).
    void SetVolumeSlide(Id id, bool enabled, std::optional<double> value);

private:
    std::array<QWidget*, kCount> controls_{};
    QLabel* devices_ = nullptr;
    std::array<std::array<CZelLed*, kLampsPerDeck>, 2> lamps_{};
    CZelProportionalLayout* layout_ = nullptr;
    int mainCursor_ = 0;
    int cueCursor_ = 1;
};

}  // namespace app
