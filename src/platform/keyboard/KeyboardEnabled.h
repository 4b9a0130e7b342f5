#pragma once

// Whether the keyboard shortcuts act: on while the program is the active
// application and its play list window is not the active window, where the
// keys are the user's typing. Process-wide; set on the UI thread, read by the
// key handlers and the key poll on any thread.
namespace platform::keyboard {

// The program became the active application (true) or lost that (false).
void SetApplicationActive(bool active);
// The play list window became the active window (true) or lost that (false).
void SetPlayListActive(bool active);
bool KeyboardEnabled();

}  // namespace platform::keyboard
