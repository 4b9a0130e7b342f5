#include "dsp/CZelEqualizer2.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QtMath>

#include <algorithm>
#include <vector>

#include "dsp/PlotScale.h"
#include "platform/MessagePort.h"
#include "ui/WindowArrangement.h"
#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelGraph.h"
#include "ui/controls/CZelSlide.h"
#include "ui/controls/ControlColours.h"

using dsp::EqualizerPanel;
using platform::Message;

namespace {

// The two shapes the window's places are drawn for (see dsp::PanelLayout):
// a strip under the deck, and a column beside the effects window.
constexpr QSize kWideDesign(480, 280);
constexpr QSize kTallDesign(250, 300);
constexpr double kButtonPoints = 8.0;
constexpr double kCaptionPoints = 8.0;
constexpr double kScalePoints = 7.0;  // the plot's frequency and level marks
constexpr double kSmallestCaptionPoints = 6.0;
constexpr int kCaptionMargin = 2;  // pixels a band caption leaves free in its slide
constexpr double kSlideWidthPerHeight = 0.2;

constexpr QRectF Wide(double x, double y, double w, double h) {
    return dsp::DesignFraction(kWideDesign, x, y, w, h);
}
constexpr QRectF Tall(double x, double y, double w, double h) {
    return dsp::DesignFraction(kTallDesign, x, y, w, h);
}

// Six ticks: a line every 0.05 of gain, unity in the middle.
constexpr int kSlideTicks = 6;
// The arrow keys' step, and ten of them with Shift.
constexpr double kSlideStep = 0.005;
constexpr int kGraphYDivisions = 4;  // a line every 10 dB

constexpr double kLowestFrequency = 20.0;
constexpr double kHighestFrequency = 20'000.0;
constexpr double kLowestDecibels = -20.0;
constexpr double kHighestDecibels = 20.0;

// "46.875 Hz" as "46.9", "12000 Hz" as "12k".
QString ShortCaption(const QString& caption) {
    bool number = false;
    const double hertz = caption.section(u' ', 0, 0).toDouble(&number);
    if (!number) return caption;
    return hertz >= 1000.0 ? QString::number(hertz / 1000.0, 'g', 3) + u'k' : QString::number(hertz, 'g', 3);
}

const char* const kCountNames[] = {"eqTwoBands", "eqThreeBands", "eqFiveBands"};
const char* const kCountCaptions[] = {"2 Bands", "3 Bands", "5 Bands"};

}  // namespace

CZelEqualizer2::CZelEqualizer2(int deck, CZelFilterBank& bank, platform::MessagePort& mainWindow,
                               QWidget* parent)
    : CZelToolWindow(ui::kEqualizerCode, deck, deck == 0 ? "Deck A Equalizer" : "Deck B Equalizer",
                     mainWindow, parent),
      port_(mainWindow),
      panel_(deck, bank, *this,
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

void CZelEqualizer2::CreateControls() {
    const QColor colour = dsp::DeckColour(Deck());
    for (int slide = 0; slide < EqualizerPanel::kSlides; ++slide) {
        auto* s = slides_[slide] = new CZelSlide(Qt::Vertical, this);
        s->setObjectName(QString("eqBandSlide%1").arg(slide + 1));
        s->SetRange(EqualizerPanel::kMinimumGain, EqualizerPanel::kMaximumGain);
        // The lit part of the track runs from unity, where a right release puts it back.
        s->SetNeutralValue(EqualizerPanel::kUnityGain);
        s->SetStep(kSlideStep);
        s->SetTicks(kSlideTicks);
        s->SetPointerColour(colour);
        s->SetSecondPointerColour(QColor(controlcolours::kLedAmber));
        s->SetSecondPointerVisible(true);
    }
    for (size_t i = 0; i < countButtons_.size(); ++i) {
        auto* button = countButtons_[i] = new CZelButton(CZelButton::Kind::Toggle, this);
        button->setObjectName(kCountNames[i]);
        button->SetCaption(kCountCaptions[i]);
        button->SetGlowColour(colour);
    }
    on_ = new CZelButton(CZelButton::Kind::Toggle, this);
    on_->setObjectName("eqOnButton");
    on_->SetCaption("EQ On");
    on_->SetGlowColour(QColor(controlcolours::kLedGreen));
    levelUp_ = new CZelButton(CZelButton::Kind::Push, this);
    levelUp_->setObjectName("eqLevelUp");
    levelUp_->SetCaption("Level +");
    levelUp_->SetGlow(false);
    levelDown_ = new CZelButton(CZelButton::Kind::Push, this);
    levelDown_->setObjectName("eqLevelDown");
    levelDown_->SetCaption(QStringLiteral("Level \u2212"));
    levelDown_->SetGlow(false);

    graph_ = new CZelGraph(this);
    graph_->setObjectName("eqFrequencyPlot");
    graph_->SetXLogarithmic(true);
    graph_->SetXRange(kLowestFrequency, kHighestFrequency);
    graph_->SetYRange(kLowestDecibels, kHighestDecibels);
    graph_->SetGrid(1, kGraphYDivisions);
    const QRgb bandColours[] = {controlcolours::kSecondPointer, controlcolours::kLedGreen,
                                controlcolours::kLedAmber, qRgb(0xd0, 0x70, 0xff), controlcolours::kLedRed};
    for (int band = 0; band < EqualizerPanel::kSlides; ++band)
        graph_->AddPlot(QString("Band %1").arg(band + 1), QColor(bandColours[band]));
    graph_->AddPlot("Combined", QColor(controlcolours::kMetalLight), CZelGraph::PlotStyle::Area);
    new dsp::PlotScale(*graph_, {100.0, 1000.0, 10'000.0}, {10.0, -10.0});

    bandArea_ = new QWidget(this);
    bandArea_->setObjectName("eqBandArea");
    bandArea_->hide();
}

void CZelEqualizer2::PlaceControls() {
    struct Place {
        QWidget* control;
        QRectF wide;
        QRectF tall;
        double points;
    };
    // The slides on one side, the plot on the other with the buttons in two
    // rows by it (the band counts, then the switch and the levels): side by
    // side in a wide window, stacked in a tall one.
    const Place places[] = {
        {countButtons_[0], Wide(252, 196, 72, 34), Tall(6, 114, 76, 28), kButtonPoints},
        {countButtons_[1], Wide(327, 196, 72, 34), Tall(87, 114, 76, 28), kButtonPoints},
        {countButtons_[2], Wide(402, 196, 72, 34), Tall(168, 114, 76, 28), kButtonPoints},
        {on_, Wide(252, 236, 72, 34), Tall(6, 146, 76, 28), kButtonPoints},
        {levelUp_, Wide(327, 236, 72, 34), Tall(87, 146, 76, 28), kButtonPoints},
        {levelDown_, Wide(402, 236, 72, 34), Tall(168, 146, 76, 28), kButtonPoints},
        {bandArea_, Wide(6, 8, 240, 262), Tall(6, 182, 238, 112), kCaptionPoints},
        {graph_, Wide(252, 8, 222, 182), Tall(6, 6, 238, 102), kScalePoints},
    };
    for (const Place& place : places) layout_.Add(place.control, place.wide, place.tall, place.points);

    auto help = [this](QWidget* control, const char* title, const char* description, const char* tip) {
        helpTexts_.Register(control, title, description, tip);
    };
    for (int slide = 0; slide < EqualizerPanel::kSlides; ++slide)
        help(slides_[slide], "EQ Band Slide:",
             "Raises or lowers the band around the frequency shown under it.  Right click to reset it.",
             "eq band slide");
    help(countButtons_[0], "EQ 2 Bands Button:", "Splits the Equalizer into 2 bands.", "eq 2 bands");
    help(countButtons_[1], "EQ 3 Bands Button:", "Splits the Equalizer into 3 bands.", "eq 3 bands");
    help(countButtons_[2], "EQ 5 Bands Button:", "Splits the Equalizer into 5 bands.", "eq 5 bands");
    help(on_, "EQ On Button:", "Turns the Equalizer on or off.", "eq on button");
    help(levelUp_, "EQ Level Up:", "Raises the EQ level by 10%.", "eq level up");
    help(levelDown_, "EQ Level Down:", "Lowers the EQ level by 10%.", "eq level down");
    help(graph_, "Frequency Plot:", "Plots the individual and combined frequency response of the equalizer.",
         "eq frequency plot");
    layout_.Apply();
}

void CZelEqualizer2::ConnectControls() {
    for (int slide = 0; slide < EqualizerPanel::kSlides; ++slide)
        connect(slides_[slide], &CZelSlide::ValueChanged, this,
                [this, slide](double gain) { panel_.BandChanged(slide, gain); });
    for (size_t i = 0; i < countButtons_.size(); ++i) {
        // A click flips a two-state button; the panel then presses the chosen
        // one and releases the others, also when it was pressed already.
        const int bands = EqualizerPanel::kBandCounts[i];
        connect(countButtons_[i], &CZelButton::Clicked, this, [this, bands] { panel_.ChooseBands(bands); });
    }
    connect(on_, &CZelButton::ValueChanged, this, [this](bool on) { panel_.SetOn(on); });
    connect(levelUp_, &CZelButton::Clicked, this, [this] { panel_.LevelUp(); });
    connect(levelDown_, &CZelButton::Clicked, this, [this] { panel_.LevelDown(); });
}

void CZelEqualizer2::SwitchOff() {
    on_->SetValue(false);
}

void CZelEqualizer2::EnableSwitch(bool enabled) {
    on_->setEnabled(enabled);
}

// ---- What the panel shows ----

void CZelEqualizer2::ShowBandCount(int bands) {
    for (size_t i = 0; i < countButtons_.size(); ++i) {
        QSignalBlocker quiet(countButtons_[i]);
        countButtons_[i]->SetValue(EqualizerPanel::kBandCounts[i] == bands);
    }
}

void CZelEqualizer2::ShowBandCaption(int slide, const QString& caption) {
    captions_[slide] = caption;
    slides_[slide]->SetCaption(caption);
    PlaceBandSlides();
}

void CZelEqualizer2::ShowSlideShares(const std::array<double, EqualizerPanel::kSlides>& shares) {
    shares_ = shares;
    PlaceBandSlides();
}

void CZelEqualizer2::ShowBandValue(int slide, double gain) {
    QSignalBlocker quiet(slides_[slide]);
    slides_[slide]->SetValue(gain);
}

void CZelEqualizer2::ShowSecondPointer(int slide, double gain) {
    slides_[slide]->SetSecondValue(gain);
}

void CZelEqualizer2::ShowPlot(int plot, std::span<const float> frequencies, std::span<const float> decibels) {
    const std::vector<double> x(frequencies.begin(), frequencies.end());
    const std::vector<double> y(decibels.begin(), decibels.end());
    graph_->SetPlotData(plot, x, y);
}

void CZelEqualizer2::ShowPlotVisible(int plot, bool visible) {
    graph_->SetPlotVisible(plot, visible);
}

// ---- Window ----

void CZelEqualizer2::PlaceBandSlides() {
    // The bands in use share the area in columns; shared edges round alike.
    const QRect area = bandArea_->geometry();
    std::array<QRect, EqualizerPanel::kSlides> columns{};
    double left = 0.0;
    int narrowest = area.width();
    for (int slide = 0; slide < EqualizerPanel::kSlides; ++slide) {
        if (shares_[slide] <= 0.0) continue;
        const double right = left + shares_[slide];
        const int x0 = area.left() + qRound(left * area.width());
        const int x1 = area.left() + qRound(right * area.width());
        columns[slide] = QRect(x0, area.top(), x1 - x0, area.height());
        narrowest = std::min(narrowest, x1 - x0);
        left = right;
    }

    // One text size for every caption: the layout's, or less, so that the
    // longest caption fits its column. Where even the smallest size is too
    // large, the captions are shortened to three digits ("46.9", "12k").
    QFont font = bandArea_->font();
    auto widestCaption = [&](const QFont& f) {
        double widest = 0.0;
        for (int slide = 0; slide < EqualizerPanel::kSlides; ++slide)
            if (shares_[slide] > 0.0)
                widest = std::max(widest, QFontMetricsF(f).horizontalAdvance(slides_[slide]->Caption()));
        return widest;
    };
    for (int slide = 0; slide < EqualizerPanel::kSlides; ++slide)
        slides_[slide]->SetCaption(captions_[slide]);
    while (font.pointSizeF() > kSmallestCaptionPoints && widestCaption(font) > narrowest - kCaptionMargin)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    if (widestCaption(font) > narrowest - kCaptionMargin)
        for (int slide = 0; slide < EqualizerPanel::kSlides; ++slide)
            slides_[slide]->SetCaption(ShortCaption(captions_[slide]));

    // A slide in a wide column keeps to the middle of it, as wide as its
    // caption or a fifth of its height, so that its thumb stays a handle.
    const int width =
        std::max(qRound(area.height() * kSlideWidthPerHeight), qCeil(widestCaption(font)) + kCaptionMargin);
    for (int slide = 0; slide < EqualizerPanel::kSlides; ++slide) {
        CZelSlide* s = slides_[slide];
        s->setFont(font);
        if (shares_[slide] <= 0.0) {
            s->hide();
            continue;
        }
        const QRect& column = columns[slide];
        const int w = std::min(column.width(), width);
        s->setGeometry(column.left() + (column.width() - w) / 2, column.top(), w, column.height());
        s->show();
    }
}

void CZelEqualizer2::resizeEvent(QResizeEvent* event) {
    CZelToolWindow::resizeEvent(event);
    layout_.Apply();
    PlaceBandSlides();
}

void CZelEqualizer2::keyPressEvent(QKeyEvent* event) {
    // The keyboard works the whole program: keys go to the main window.
    ForwardKey(*event);
}
