#include "ui/WindowArranger.h"

#include <QScreen>
#include <QStyle>

#include "ui/WindowArrangement.h"

namespace {

// The window manager decorates a newly shown window within moments; after
// this long a frame that has not changed is taken as final.
constexpr int kFrameCheckMs = 100;
constexpr int kFrameChecks = 30;

}  // namespace

WindowArranger::WindowArranger(QWidget* mainWindow, Lookup lookup, Shown shown)
    : QObject(mainWindow), mainWindow_(mainWindow), lookup_(std::move(lookup)), shown_(std::move(shown)) {
    frameCheck_.setInterval(kFrameCheckMs);
    connect(&frameCheck_, &QTimer::timeout, this, &WindowArranger::CheckFrame);
}

void WindowArranger::Arrange(int code, int deck) {
    QScreen* screen = mainWindow_->screen();
    ArrangeOn(screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800), code, deck);
}

void WindowArranger::ArrangeOn(const QRect& area, int code, int deck) {
    used_ = FrameMargins();
    lastArea_ = area;
    lastCode_ = code;
    lastDeck_ = deck;
    const int caption =
        used_.top() > 0 ? used_.top() : mainWindow_->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    for (const ui::WindowPlacement& place : ui::ArrangeWindows({area, used_, caption, caption}, code, deck)) {
        QWidget* window = lookup_(place.code, place.deck);
        if (!window) continue;
        // The inner area, placed so that the frame around it lands where the
        // arrangement wants it (move() would rely on Qt knowing each
        // window's frame already, which it does not always).
        window->setGeometry(place.inner);
        if (place.hidden) {
            window->hide();
            continue;
        }
        window->show();
        if (std::find(placed_.begin(), placed_.end(), window) == placed_.end()) placed_.emplace_back(window);
        shown_(place.code, place.deck);
    }
    // Where a window's frame is known as soon as it shows, the windows are
    // placed again at once; a window manager tells it a little later, so the
    // frame is watched for a while.
    if (!placingAgain_ && FrameMargins() != used_) {
        placingAgain_ = true;
        ArrangeOn(area, code, deck);
        placingAgain_ = false;
        return;
    }
    checksLeft_ = kFrameChecks;
    frameCheck_.start();
}

QMargins WindowArranger::FrameMargins() const {
    for (const QPointer<QWidget>& window : placed_) {
        if (!window || !window->isVisible()) continue;
        const QRect frame = window->frameGeometry();
        const QRect inner = window->geometry();
        if (frame == inner) continue;
        return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                frame.bottom() - inner.bottom()};
    }
    return {};
}

void WindowArranger::CheckFrame() {
    if (FrameMargins() != used_) {
        frameCheck_.stop();
        ArrangeOn(lastArea_, lastCode_, lastDeck_);
        return;
    }
    if (--checksLeft_ <= 0) frameCheck_.stop();
}
