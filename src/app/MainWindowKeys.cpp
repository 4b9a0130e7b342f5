#include "app/MainWindowKeys.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "app/COrvo2Dlg.h"
#include "deck/CZelDeck2.h"
#include "dsp/CZelEqualizer2.h"
#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelSlide.h"

namespace app {

namespace {

// A text field: its keys are typing, not playing.
bool TypingInto(const QWidget* widget) {
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
           qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget);
}

}  // namespace

MainWindowKeys::MainWindowKeys(COrvo2Dlg& window)
    : QObject(&window), window_(window), shortcuts_(keys_, *this), poller_(keys_, window.MessagePort()) {
    qApp->installEventFilter(this);
}

MainWindowKeys::~MainWindowKeys() {
    qApp->removeEventFilter(this);
    poller_.Stop();
}

bool MainWindowKeys::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->isAutoRepeat()) break;
            const int scan = platform::keyboard::KeyState::ScanOf(*key);
            if (event->type() == QEvent::KeyRelease)
                keys_.Release(scan);
            else if (!TypingInto(qobject_cast<QWidget*>(watched)))
                keys_.Press(scan);
            break;
        }
        case QEvent::ApplicationDeactivate:
            // Keys let go elsewhere are never heard of: none may stick down.
            keys_.ReleaseAll();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

CZelRangedControl* MainWindowKeys::SlideOf(KeyboardShortcuts::Slide slide) {
    using Slide = KeyboardShortcuts::Slide;
    using Id = MainWindowControls::Id;
    auto main = [&](Id id) -> CZelRangedControl* { return window_.Controls().Slide(id); };
    auto band = [&](int deck, int number) -> CZelRangedControl* {
        return window_.Equalizer(deck).findChild<CZelSlide*>(QString("eqBandSlide%1").arg(number));
    };
    switch (slide) {
        case Slide::MasterVolume:
            return main(Id::kMasterVolume);
        case Slide::HeadphonesVolume:
            return main(Id::kHeadphonesVolume);
        case Slide::Curve:
            return main(Id::kCurve);
        case Slide::MainCrossFader:
            return main(Id::kMainCrossFader);
        case Slide::HeadphonesCrossFader:
            return main(Id::kHeadphonesCrossFader);
        case Slide::LevelA:
            return main(Id::kLevelA);
        case Slide::LevelB:
            return main(Id::kLevelB);
        case Slide::TempoA:
            return window_.Deck(0).findChild<CZelSlide*>("tempoSlide");
        case Slide::TempoB:
            return window_.Deck(1).findChild<CZelSlide*>("tempoSlide");
        case Slide::EqualizerA1:
            return band(0, 1);
        case Slide::EqualizerA2:
            return band(0, 2);
        case Slide::EqualizerA3:
            return band(0, 3);
        case Slide::EqualizerB1:
            return band(1, 1);
        case Slide::EqualizerB2:
            return band(1, 2);
        case Slide::EqualizerB3:
            return band(1, 3);
    }
    return nullptr;
}

void MainWindowKeys::SeekDeck(int deck, double fraction) {
    // As the position slide is let go there.
    CZelDeck2& window = window_.Deck(deck);
    if (auto* slide = window.findChild<CZelSlide*>("positionSlide")) slide->SetValue(fraction);
    window.Transport().SetSlide(fraction);
    window.Transport().SeekToSlide();
}

void MainWindowKeys::ToggleCue(int deck) {
    if (auto* cue = window_.Deck(deck).findChild<CZelButton*>("cue")) cue->SetValue(!cue->Value());
}

void MainWindowKeys::TogglePlay(int deck) {
    window_.Deck(deck).Transport().TogglePlay(false);
}

}  // namespace app
