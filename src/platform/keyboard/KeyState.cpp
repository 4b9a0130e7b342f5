#include "platform/keyboard/KeyState.h"

#include <QKeyEvent>

namespace platform::keyboard {

namespace {

struct Polled {
    int scan;
    int code;
};

// The poll's keys in its order, with the code each sends.
constexpr Polled kPolled[] = {
    {0x02, '1'},
    {0x03, '2'},
    {0x04, '3'},
    {0x05, '4'},
    {0x06, '5'},
    {0x07, '6'},
    {0x08, '7'},
    {0x09, '8'},
    {0x0A, '9'},
    {0x0B, '0'},
    {kScanQ, 'Q'},
    {kScanW, 'W'},
    {kScanE, 'E'},
    {kScanR, 'R'},
    {kScanT, 'T'},
    {kScanY, 'Y'},
    {kScanU, 'U'},
    {kScanI, 'I'},
    {kScanO, 'O'},
    {kScanP, 'P'},
    {kScanA, 'A'},
    {kScanS, 'S'},
    {kScanD, 'D'},
    {kScanF, 'F'},
    {kScanG, 'G'},
    {kScanH, 'H'},
    {kScanJ, 'J'},
    {kScanK, 'K'},
    {kScanL, 'L'},
    {kScanSemicolon, ';'},
    {kScanZ, 'Z'},
    {kScanX, 'X'},
    {kScanC, 'C'},
    {kScanV, 'V'},
    {kScanB, 'B'},
    {kScanN, 'N'},
    {kScanM, 'M'},
    {kScanComma, ','},
    {kScanPeriod, '.'},
    {kScanDivide, '/'},
    {kScanSpace, ' '},
    {kScanPageDown, kCodePageDown},
    {kScanPageUp, kCodePageUp},
    {kScanHome, kCodeHome},
    {kScanEnd, kCodeEnd},
    {kScanDown, kCodeDown},
    {kScanLeft, kCodeLeft},
    {kScanRight, kCodeRight},
    {kScanUp, kCodeUp},
};
static_assert(std::size(kPolled) == KeyState::kPolledKeys);

bool Valid(int scan) {
    return scan > 0 && scan < static_cast<int>(KeyState::kKeys);
}

}  // namespace

void KeyState::Press(int scan) {
    if (Valid(scan)) down_[static_cast<size_t>(scan)].store(true, std::memory_order_relaxed);
}

void KeyState::Release(int scan) {
    if (Valid(scan)) down_[static_cast<size_t>(scan)].store(false, std::memory_order_relaxed);
}

void KeyState::ReleaseAll() {
    for (auto& key : down_) key.store(false, std::memory_order_relaxed);
}

bool KeyState::IsDown(int scan) const {
    return Valid(scan) && down_[static_cast<size_t>(scan)].load(std::memory_order_relaxed);
}

size_t KeyState::Poll(std::array<int, kPolledKeys>& codes) const {
    size_t n = 0;
    for (const Polled& key : kPolled)
        if (IsDown(key.scan) && n < codes.size()) codes[n++] = key.code;
    return n;
}

int KeyState::FromLinuxKey(int linuxKey) {
    // The main block numbers its keys as the PC scan codes do; the keys of
    // the cursor and keypad blocks are numbered apart.
    switch (linuxKey) {
        case 97:
            return kScanRightControl;
        case 98:
            return kScanDivide;
        case 102:
            return kScanHome;
        case 103:
            return kScanUp;
        case 104:
            return kScanPageUp;
        case 105:
            return kScanLeft;
        case 106:
            return kScanRight;
        case 107:
            return kScanEnd;
        case 108:
            return kScanDown;
        case 109:
            return kScanPageDown;
        default:
            return linuxKey > 0 && linuxKey < 0x59 ? linuxKey : 0;
    }
}

int KeyState::ScanOf(const QKeyEvent& event) {
    // X11 and Wayland number a key by its Linux input number plus 8.
    const int native = static_cast<int>(event.nativeScanCode());
    if (native > 8)
        if (const int scan = FromLinuxKey(native - 8)) return scan;
    return FromQtKey(event.key());
}

int KeyState::CodeOf(int scan) {
    for (const Polled& key : kPolled)
        if (key.scan == scan) return key.code;
    return 0;
}

int KeyState::FromQtKey(int qtKey) {
    static constexpr char kRows[][11] = {"1234567890", "QWERTYUIOP", "ASDFGHJKL;", "ZXCVBNM,."};
    static constexpr int kRowStarts[] = {0x02, kScanQ, kScanA, kScanZ};
    for (size_t row = 0; row < std::size(kRows); ++row)
        for (int i = 0; kRows[row][i] != '\0'; ++i)
            if (qtKey == kRows[row][i]) return kRowStarts[row] + i;
    switch (qtKey) {
        case Qt::Key_Slash:
            return kScanDivide;
        case Qt::Key_Space:
            return kScanSpace;
        case Qt::Key_PageDown:
            return kScanPageDown;
        case Qt::Key_PageUp:
            return kScanPageUp;
        case Qt::Key_Home:
            return kScanHome;
        case Qt::Key_End:
            return kScanEnd;
        case Qt::Key_Down:
            return kScanDown;
        case Qt::Key_Left:
            return kScanLeft;
        case Qt::Key_Right:
            return kScanRight;
        case Qt::Key_Up:
            return kScanUp;
        case Qt::Key_Shift:
            return kScanLeftShift;
        case Qt::Key_Control:
            return kScanLeftControl;
        default:
            return 0;
    }
}

}  // namespace platform::keyboard
