#include "app/CZelSplashScreen.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "app/Orvo2Art.h"

namespace {

// Paints its bitmap at full size from its top left corner.
class SplashWindow : public QWidget {
public:
    SplashWindow(const QPixmap& bitmap, QWidget* parent)
        : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), bitmap_(bitmap) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFixedSize(bitmap_.deviceIndependentSize().toSize());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawPixmap(0, 0, bitmap_);
    }

private:
    QPixmap bitmap_;
};

}  // namespace

CZelSplashScreen::~CZelSplashScreen() {
    Destroy();
}

bool CZelSplashScreen::Create(int durationMs, QWidget* parent) {
    return Create(durationMs, parent, app::SplashBitmap());
}

bool CZelSplashScreen::Create(int durationMs, QWidget* parent, const QPixmap& bitmap) {
    Destroy();
    if (bitmap.isNull()) return false;

    auto* window = new SplashWindow(bitmap, parent);
    window_ = window;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        window->move(area.left() + (area.width() - window->width()) / 2,
                     area.top() + (area.height() - window->height()) / 2);
    }
    window->show();
    window->repaint();
    // The timer belongs to the window: it cannot fire once the window is gone.
    auto* timer = new QTimer(window);
    timer->setObjectName("splashTimer");
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, window, &QWidget::hide);
    timer->start(durationMs);
    return true;
}

bool CZelSplashScreen::IsShowing() const {
    return window_ && window_->isVisible();
}

void CZelSplashScreen::Destroy() {
    if (!window_) return;
    window_->close();
    delete window_.data();
}
