#pragma once

#include <QString>

#include "output/DeviceChoice.h"

namespace app {

// What the mixing desk asks of the window that shows it: the volume slides a
// device choice sets (DeviceChoiceControls), the devices line, the show
// buttons and the deck windows' own state. UI thread only.
class DeskView : public output::DeviceChoiceControls {
public:
    // The outputs' devices as the status line shows them.
    virtual void ShowDevices(const QString& text) = 0;
    // A tool window was closed by its own close box: its show button goes off.
    virtual void OnToolWindowClosed(int code, int deck) = 0;
    // A deck window's action is waiting for the engine (a fade, a priming).
    virtual bool DecksBusy() const = 0;
    // Both deck windows go back to "Nothing Loaded".
    virtual void UnloadDecks() = 0;
    // A key the key poll found held down, and a key pressed in a tool window,
    // each by the poll's code for it.
    virtual void OnHeldKey(int /*code*/) {}
    virtual void OnForwardedKey(int /*code*/) {}
};

}  // namespace app
