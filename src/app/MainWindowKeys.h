#pragma once

#include <QObject>

#include <memory>

#include "app/KeyboardShortcuts.h"
#include "platform/keyboard/KeyPoller.h"
#include "platform/keyboard/KeyState.h"

class COrvo2Dlg;

namespace app {

// The keyboard of the whole program: the key state, fed by every key event
// of the application (by physical key, never while a text field has the
// focus, let go when the program loses the keyboard); the key poll; and the
// shortcuts on the main window's, the decks' and the equalizers' controls.
// UI thread only.
class MainWindowKeys final : public QObject, private KeyboardShortcuts::Controls {
public:
    explicit MainWindowKeys(COrvo2Dlg& window);
    ~MainWindowKeys() override;

    platform::keyboard::KeyState& Keys() { return keys_; }
    KeyboardShortcuts& Shortcuts() { return shortcuts_; }
    platform::keyboard::KeyPoller& Poller() { return poller_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // KeyboardShortcuts::Controls
    CZelRangedControl* SlideOf(KeyboardShortcuts::Slide slide) override;
    void SeekDeck(int deck, double fraction) override;
    void ToggleCue(int deck) override;
    void TogglePlay(int deck) override;

    COrvo2Dlg& window_;
    platform::keyboard::KeyState keys_;
    KeyboardShortcuts shortcuts_;
    platform::keyboard::KeyPoller poller_;
};

}  // namespace app
