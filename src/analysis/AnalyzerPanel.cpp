#include "analysis/AnalyzerPanel.h"

#include <algorithm>
#include <cmath>

#include "dsp/CZelFilterBank.h"

namespace analysis {

namespace {
constexpr int kChartPoints = 30;
constexpr double kScopeBottom = -32768.0;  // -(2^15)
constexpr double kScopeTop = 32767.0;      // 2^15 - 1

bool ValidDeck(int deck) {
    return deck == 0 || deck == 1;
}
}  // namespace

GraphSetup GraphSetupFor(Mode mode, DeckView view) {
    GraphSetup setup;
    switch (mode) {
        case Mode::Chart:
            setup = {0.0, kChartPoints - 1.0, -AnalyzerPanel::kChartRange, AnalyzerPanel::kChartRange, {},
                     {}};
            break;
        case Mode::Octave:
            setup = {0.0, AnalyzerPanel::kBands - 1.0, 0.0, AnalyzerPanel::kOctaveTop, QStringLiteral("dB"),
                     {}};
            break;
        case Mode::Scope:
            setup = {0.0, AnalyzerPanel::kScopePoints - 1.0, kScopeBottom, kScopeTop, {}, {}};
            break;
    }
    for (int deck = 0; deck < 2; ++deck) {
        const bool shown = view == DeckView::Both || static_cast<int>(view) == deck;
        setup.visible[PlotOf(deck)] = shown;
        setup.visible[MirrorPlotOf(deck)] = shown && mode == Mode::Chart;
    }
    return setup;
}

AnalyzerPanel::AnalyzerPanel() : bank_(std::make_unique<CZelFilterBank>()) {
    for (auto& copy : copy_) copy.assign(kCopySamples, 0);
    bank_->Design(kBands);
}

AnalyzerPanel::~AnalyzerPanel() = default;

void AnalyzerPanel::SetView(View* view) {
    viewer_ = view;
}

void AnalyzerPanel::Initialise() {
    for (auto& values : octave_) values.fill(0.0);
    for (auto& points : scope_) points.fill(0.0);
    mode_ = Mode::Octave;
    view_ = DeckView::Both;
    SetUpGraph();
}

void AnalyzerPanel::StoreBlock(int deck, const int16_t* samples, uint32_t bytePosition) {
    if (!ValidDeck(deck) || !samples) return;
    // Sample for sample where the buffer holds it, wrapping at the buffer's end.
    std::vector<int16_t>& copy = copy_[deck];
    const size_t at = (bytePosition / 2) % kCopySamples;
    const size_t first = std::min<size_t>(engine::kBlockSamples, kCopySamples - at);
    std::copy_n(samples, first, copy.begin() + static_cast<std::ptrdiff_t>(at));
    std::copy_n(samples + first, engine::kBlockSamples - first, copy.begin());
}

const int16_t* AnalyzerPanel::SlotOf(int deck, int slot) const {
    if (!ValidDeck(deck) || slot < 0 || slot >= kSlots) return nullptr;
    return copy_[deck].data() + static_cast<ptrdiff_t>(slot) * engine::kBlockSamples;
}

double AnalyzerPanel::BlockLevel(int deck, int slot) const {
    const int16_t* samples = SlotOf(deck, slot);
    if (!samples) return 0.0;
    int64_t sum = 0;
    int64_t squares = 0;
    for (int i = 0; i < engine::kBlockSamples; ++i) {
        sum += samples[i];
        squares += static_cast<int64_t>(samples[i]) * samples[i];
    }
    // n^2 variance = n sum(x^2) - (sum x)^2, exact in 64 bits for 5880 16-bit samples.
    const int64_t n = engine::kBlockSamples;
    const double variance = static_cast<double>(n * squares - sum * sum) / static_cast<double>(n * n);
    const double deviation = std::floor(std::sqrt(std::max(variance, 0.0)));
    return deviation > 0.0 ? 20.0 * std::log10(deviation) : 0.0;
}

void AnalyzerPanel::Update(int deck, int slot) {
    const int16_t* samples = SlotOf(deck, slot);
    if (!samples) return;
    switch (mode_) {
        case Mode::Chart:
            chart_[deck] = std::max(0.0, BlockLevel(deck, slot) - kChartFloor);
            if (viewer_) viewer_->AppendChartPoint(deck, chart_[deck]);
            break;
        case Mode::Octave:
            UpdateOctave(deck, samples);
            break;
        case Mode::Scope:
            UpdateScope(deck, samples);
            break;
    }
}

void AnalyzerPanel::UpdateOctave(int deck, const int16_t* samples) {
    // Mono on the 16-bit scale: the mean of each frame's left and right.
    for (int frame = 0; frame < engine::kBlockFrames; ++frame)
        mono_[frame] =
            (static_cast<float>(samples[2 * frame]) + static_cast<float>(samples[2 * frame + 1])) * 0.5f;
    bank_->Process(mono_.data());
    std::array<double, kBands>& values = octave_[deck];
    for (int band = 0; band < kBands; ++band)
        values[band] = values[band] * kKeep + bank_->BandLevel(band) * kTake;
    if (viewer_) viewer_->ShowOctave(deck, values);
}

void AnalyzerPanel::UpdateScope(int deck, const int16_t* samples) {
    std::array<double, kScopePoints>& points = scope_[deck];
    for (int point = 0; point < kScopePoints; ++point) {
        int sum = 0;
        for (int i = 0; i < kScopeStride; ++i) {
            const int frame = point * kScopeStride + i;
            sum += (samples[2 * frame] + samples[2 * frame + 1]) >> 1;
        }
        points[point] = sum / kScopeStride;  // the frames past the last point are not shown
    }
    if (viewer_) viewer_->ShowScope(deck, points);
}

void AnalyzerPanel::SetMode(Mode mode) {
    mode_ = mode;
    SetUpGraph();
}

void AnalyzerPanel::SetDeckView(DeckView view) {
    view_ = view;
    SetUpGraph();
}

void AnalyzerPanel::SetUpGraph() {
    if (viewer_) viewer_->SetUpGraph(mode_, view_, GraphSetupFor(mode_, view_));
}

double AnalyzerPanel::BandCentre(int band) const {
    return bank_->CentreFrequency(band);
}

}  // namespace analysis
