#pragma once

#include <array>

#include "dsp/EffectsPanel.h"
#include "dsp/PanelLayout.h"
#include "ui/CZelHelpTexts.h"
#include "ui/CZelToolWindow.h"

class CZelButton;
class CZelSlide;
class CZelTextIndicator;
class QComboBox;

// The effects window of one deck, "Deck A Effects" or "Deck B Effects": the
// effect chooser, the on/off switch and the effect's two parameter slides with
// their values. Its EffectsPanel decides; the window shows and forwards.
// UI thread only.
class CZelEffects final : public CZelToolWindow, private dsp::EffectsPanel::View {
    Q_OBJECT
public:
    CZelEffects(int deck, dsp::CZelEffectParameters& parameters, platform::MessagePort& mainWindow,
                QWidget* parent = nullptr);

    dsp::EffectsPanel& Panel() { return panel_; }
    const CZelHelpTexts& HelpTexts() const { return helpTexts_; }
    // The chooser's choice, which the devices install while the switch is on.
    const QString& EffectName() const { return panel_.Effect(); }

    // What a new sound device choice does to the window: the switch goes off
    // as if the user had switched it, or is made unavailable (split devices).
    void SwitchOff();
    void EnableSwitch(bool enabled);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // dsp::EffectsPanel::View
    void ShowEffect(const QString& name) override;
    void ShowSlide(int index, const dsp::EffectParameterDefinition& definition, double value,
                   bool enabled) override;
    void ShowValueText(int index, const QString& text) override;

    void CreateControls();
    void PlaceControls();
    void ConnectControls();

    platform::MessagePort& port_;
    dsp::EffectsPanel panel_;
    CZelHelpTexts helpTexts_;
    dsp::PanelLayout layout_;

    QComboBox* chooser_ = nullptr;
    CZelButton* on_ = nullptr;
    std::array<CZelSlide*, dsp::EffectsPanel::kParameters> slides_{};
    std::array<CZelTextIndicator*, dsp::EffectsPanel::kParameters> values_{};
};
