#pragma once

#include <array>
#include <atomic>
#include <cstddef>

class QKeyEvent;

namespace platform::keyboard {

// Key codes by physical key, as the PC keyboard's scan codes number them
// (the same on every layout: the key where Q sits on a US keyboard is Q).
enum Scan : int {
    kScan1 = 0x02,  // 1 to 9 are 0x02 to 0x0A, 0 is 0x0B
    kScanQ = 0x10,
    kScanW = 0x11,
    kScanE = 0x12,
    kScanR = 0x13,
    kScanT = 0x14,
    kScanY = 0x15,
    kScanU = 0x16,
    kScanI = 0x17,
    kScanO = 0x18,
    kScanP = 0x19,
    kScanLeftControl = 0x1D,
    kScanA = 0x1E,
    kScanS = 0x1F,
    kScanD = 0x20,
    kScanF = 0x21,
    kScanG = 0x22,
    kScanH = 0x23,
    kScanJ = 0x24,
    kScanK = 0x25,
    kScanL = 0x26,
    kScanSemicolon = 0x27,
    kScanLeftShift = 0x2A,
    kScanZ = 0x2C,
    kScanX = 0x2D,
    kScanC = 0x2E,
    kScanV = 0x2F,
    kScanB = 0x30,
    kScanN = 0x31,
    kScanM = 0x32,
    kScanComma = 0x33,
    kScanPeriod = 0x34,
    kScanRightShift = 0x36,
    kScanSpace = 0x39,
    kScanRightControl = 0x9D,
    kScanDivide = 0xB5,  // on the numeric keypad
    kScanHome = 0xC7,
    kScanUp = 0xC8,
    kScanPageUp = 0xC9,
    kScanLeft = 0xCB,
    kScanRight = 0xCD,
    kScanEnd = 0xCF,
    kScanDown = 0xD0,
    kScanPageDown = 0xD1,
};

// The codes the key poll hands on for its keys: characters for the letter,
// digit and punctuation keys, key numbers for the others.
enum Code : int {
    kCodePageDown = 34,
    kCodePageUp = 33,
    kCodeHome = 36,
    kCodeEnd = 35,
    kCodeDown = 40,
    kCodeLeft = 37,
    kCodeRight = 39,
    kCodeUp = 38,
};

// Which keys are held down, by scan code: fed from the window system's key
// events on the UI thread, read by the key poll on its own thread. When the
// program loses the keyboard every key is let go, so none sticks down.
class KeyState {
public:
    static constexpr size_t kKeys = 256;
    static constexpr size_t kPolledKeys = 49;

    void Press(int scan);
    void Release(int scan);
    void ReleaseAll();
    bool IsDown(int scan) const;
    bool ShiftDown() const { return IsDown(kScanLeftShift) || IsDown(kScanRightShift); }
    bool ControlDown() const { return IsDown(kScanLeftControl) || IsDown(kScanRightControl); }

    // The codes of the polled keys held down, in the poll's order: the digit
    // row, the three letter rows, keypad divide, space, Page Down, Page Up,
    // Home, End, and the arrows down, left, right and up. Returns how many
    // were written. No allocation: the poll runs every 15 ms.
    size_t Poll(std::array<int, kPolledKeys>& codes) const;

    // A key of the window system as a scan code: from the Linux input key
    // number when there is one (X11 and Wayland give it plus 8), else from
    // Qt's key; 0 for a key that has none.
    static int FromLinuxKey(int linuxKey);
    static int FromQtKey(int qtKey);
    // The scan code of a key event's physical key.
    static int ScanOf(const QKeyEvent& event);
    // The code the poll gives the key; 0 for one it does not poll.
    static int CodeOf(int scan);

private:
    std::array<std::atomic<bool>, kKeys> down_{};
};

}  // namespace platform::keyboard
