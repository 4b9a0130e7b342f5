#include "dsp/CZelEffects.h"

#include <QComboBox>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QSignalBlocker>

#include <algorithm>

#include "platform/MessagePort.h"
#include "ui/WindowArrangement.h"
#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelSlide.h"
#include "ui/controls/CZelTextIndicator.h"
#include "ui/controls/ControlColours.h"

using dsp::EffectsPanel;
using platform::Message;

namespace {

// The two shapes the window's places are drawn for (see dsp::PanelLayout):
// a strip under the equalizer, and a column beside it.
constexpr QSize kWideDesign(480, 150);
constexpr QSize kTallDesign(250, 260);
constexpr double kButtonPoints = 8.0;
constexpr double kCaptionPoints = 8.0;
constexpr double kValuePoints = 11.0;

constexpr QRectF Wide(double x, double y, double w, double h) {
    return dsp::DesignFraction(kWideDesign, x, y, w, h);
}
constexpr QRectF Tall(double x, double y, double w, double h) {
    return dsp::DesignFraction(kTallDesign, x, y, w, h);
}

constexpr int kSlideTicks = 10;
constexpr double kCaptionGap = 8.0;      // pixels between a caption and its track
constexpr int kChooserVisibleItems = 8;  // the whole list

}  // namespace

CZelEffects::CZelEffects(int deck, dsp::CZelEffectParameters& parameters, platform::MessagePort& mainWindow,
                         QWidget* parent)
    : CZelToolWindow(ui::kEffectsCode, deck, deck == 0 ? "Deck A Effects" : "Deck B Effects", mainWindow,
                     parent),
      port_(mainWindow),
      panel_(deck, parameters, *this,
             [&mainWindow](Message message, const platform::Payload& payload) {
                 mainWindow.Send(message, payload);
             }),
      layout_(*this, kWideDesign, kTallDesign) {
    resize(kWideDesign);
    CreateControls();
    PlaceControls();
    ConnectControls();
    panel_.Initialise();
}

void CZelEffects::CreateControls() {
    const QColor colour = dsp::DeckColour(Deck());
    chooser_ = new QComboBox(this);
    chooser_->setObjectName("effectChooser");
    chooser_->addItems(dsp::EffectNames());
    chooser_->setMaxVisibleItems(kChooserVisibleItems);
    chooser_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    chooser_->setMinimumContentsLength(6);
    // Worked by the mouse only: a letter typed for one of the program's
    // shortcuts would otherwise pick an effect.
    chooser_->setFocusPolicy(Qt::NoFocus);
    chooser_->setStyleSheet(
        QString("QComboBox { background: %1; color: %2; border: 1px solid %3; padding: 1px 6px; }"
                "QComboBox:disabled { color: %5; }"
                "QComboBox QAbstractItemView { background: %1; color: %2; "
                "selection-background-color: %4; }")
            .arg(QColor(controlcolours::kPanelDeep).name(), QColor(controlcolours::kText).name(),
                 QColor(controlcolours::kBevelLight).name(), colour.darker(160).name(),
                 QColor(controlcolours::kTextDim).name()));

    on_ = new CZelButton(CZelButton::Kind::Toggle, this);
    on_->setObjectName("effectOnOff");
    on_->SetCaption("Effect On");
    on_->SetGlowColour(QColor(controlcolours::kLedGreen));

    for (int index = 0; index < EffectsPanel::kParameters; ++index) {
        auto* slide = slides_[index] = new CZelSlide(Qt::Horizontal, this);
        slide->setObjectName(QString("effectParameter%1Slide").arg(index + 1));
        slide->SetTicks(kSlideTicks);
        slide->SetPointerColour(colour);
        auto* value = values_[index] = new CZelTextIndicator(this);
        value->setObjectName(QString("effectParameter%1Value").arg(index + 1));
    }
}

void CZelEffects::PlaceControls() {
    struct Place {
        QWidget* control;
        QRectF wide;
        QRectF tall;
        double points;
        const char* title;
        const char* description;
        const char* toolTip;
    };
    // Wide: the chooser and the switch on a row, then a row per parameter,
    // its value at the end. Tall: one control a row, each value under the
    // right end of its slide.
    const Place places[] = {
        {chooser_, Wide(8, 8, 300, 36), Tall(8, 8, 234, 32), kButtonPoints,
         "Effect Chooser:", "Select effect.", "choose effect"},
        {on_, Wide(316, 8, 156, 36), Tall(8, 46, 234, 36), kButtonPoints,
         "Effect On/Off Button:", "Turns effects on or off.", "effect on/off"},
        {slides_[0], Wide(8, 56, 370, 38), Tall(8, 96, 234, 40), kCaptionPoints, "Effect Parameter 1 Slide:",
         "Adjusts the value of the first effect parameter.", "effect parameter 1 slide"},
        {values_[0], Wide(386, 58, 86, 34), Tall(130, 138, 112, 30), kValuePoints,
         "Effect Parameter 1 Value:", "Shows the value of the first effect parameter.",
         "effect parameter 1 value"},
        {slides_[1], Wide(8, 104, 370, 38), Tall(8, 178, 234, 40), kCaptionPoints,
         "Effect Parameter 2 Slide:", "Adjusts the value of the second effect parameter.",
         "effect parameter 2 slide"},
        {values_[1], Wide(386, 106, 86, 34), Tall(130, 220, 112, 30), kValuePoints,
         "Effect Parameter 2 Value:", "Shows the value of the second effect parameter.",
         "effect parameter 2 value"},
    };
    for (const Place& place : places) {
        layout_.Add(place.control, place.wide, place.tall, place.points);
        helpTexts_.Register(place.control, place.title, place.description, place.toolTip);
    }
    layout_.Apply();
}

void CZelEffects::ConnectControls() {
    // Set by the panel with its signals blocked: what arrives here is the user's.
    connect(chooser_, &QComboBox::currentIndexChanged, this,
            [this](int index) { panel_.ChooseEffect(chooser_->itemText(index)); });
    connect(on_, &CZelButton::ValueChanged, this, [this](bool on) { panel_.SetOn(on); });
    for (int index = 0; index < EffectsPanel::kParameters; ++index)
        connect(slides_[index], &CZelSlide::ValueChanged, this,
                [this, index](double value) { panel_.SlideChanged(index, value); });
}

void CZelEffects::SwitchOff() {
    on_->SetValue(false);
}

void CZelEffects::EnableSwitch(bool enabled) {
    on_->setEnabled(enabled);
}

// ---- What the panel shows ----

void CZelEffects::ShowEffect(const QString& name) {
    QSignalBlocker quiet(chooser_);
    chooser_->setCurrentIndex(chooser_->findText(name));
}

void CZelEffects::ShowSlide(int index, const dsp::EffectParameterDefinition& definition, double value,
                            bool enabled) {
    CZelSlide* slide = slides_[index];
    QSignalBlocker quiet(slide);
    slide->SetCaption(definition.caption);
    slide->SetRange(definition.minimum, definition.maximum);
    slide->SetValue(value);
    slide->setEnabled(enabled);
}

void CZelEffects::ShowValueText(int index, const QString& text) {
    values_[index]->SetText(text);
}

// ---- Window ----

void CZelEffects::resizeEvent(QResizeEvent* event) {
    CZelToolWindow::resizeEvent(event);
    layout_.Apply();
    // Both tracks start where the longest caption of any effect ends, so
    // they line up and stay put from one effect to the next.
    double widest = 0.0;
    for (const QString& effect : dsp::EffectNames())
        for (const auto& definition : dsp::EffectParameterDefinitions(effect))
            widest =
                std::max(widest, QFontMetricsF(slides_[0]->font()).horizontalAdvance(definition.caption));
    for (CZelSlide* slide : slides_)
        if (slide->width() > 0) slide->SetCaptionShare((widest + kCaptionGap) / slide->width());
}

void CZelEffects::keyPressEvent(QKeyEvent* event) {
    // The keyboard works the whole program: keys go to the main window.
    ForwardKey(*event);
}
