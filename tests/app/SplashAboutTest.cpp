// The splash screen, the program's own pictures and the About box.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

#include "app/CAboutDlg.h"
#include "app/CZelSplashScreen.h"
#include "app/Orvo2Art.h"

TEST(Splash, ShowsTheBitmapCentredOnTheScreenAndHidesWhenItsTimeIsUp) {
    const QPixmap bitmap = app::SplashBitmap();
    ASSERT_FALSE(bitmap.isNull());

    CZelSplashScreen splash;
    EXPECT_FALSE(splash.IsShowing());
    ASSERT_TRUE(splash.Create(300, nullptr));
    QWidget* window = splash.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(splash.IsShowing());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(window->windowType(), Qt::SplashScreen);

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(window->size(), bitmap.size());
    EXPECT_EQ(window->x(), (screen.width() - bitmap.width()) / 2);
    EXPECT_EQ(window->y(), (screen.height() - bitmap.height()) / 2);
    EXPECT_EQ(window->grab().toImage().convertToFormat(QImage::Format_RGB32),
              bitmap.toImage().convertToFormat(QImage::Format_RGB32))
        << "the window shows the whole bitmap from its top left corner";

    // It hides when its own 300 ms timer fires, and not before.
    const auto* timer = window->findChild<QTimer*>("splashTimer");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_TRUE(timer->isSingleShot());
    EXPECT_EQ(timer->interval(), 300);
    QCoreApplication::processEvents();
    EXPECT_TRUE(splash.IsShowing() || !timer->isActive()) << "hid while its timer still ran";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !splash.IsShowing(); }, 60'000));

    // A short time, as the main window may ask for.
    ASSERT_TRUE(splash.Create(50, nullptr));
    EXPECT_TRUE(splash.IsShowing());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !splash.IsShowing(); }, 60'000));

    // No bitmap, no window.
    EXPECT_FALSE(splash.Create(50, nullptr, QPixmap()));
    EXPECT_FALSE(splash.IsShowing());
    EXPECT_EQ(splash.Window(), nullptr);
}

TEST(Splash, DestroyingItBeforeItsTimeClosesItAndAGoneParentDoesNotMatter) {
    auto splash = std::make_unique<CZelSplashScreen>();
    ASSERT_TRUE(splash->Create(60'000, nullptr));
    QPointer<QWidget> window = splash->Window();
    ASSERT_TRUE(window && window->isVisible());
    splash.reset();
    EXPECT_TRUE(window.isNull() || !window->isVisible());

    auto parent = std::make_unique<QWidget>();
    splash = std::make_unique<CZelSplashScreen>();
    ASSERT_TRUE(splash->Create(60'000, parent.get()));
    EXPECT_TRUE(splash->IsShowing());
    parent.reset();
    EXPECT_FALSE(splash->IsShowing());
    splash.reset();
}

TEST(Splash, OurPicturesAreDrawnAndTheIconComesInEverySize) {
    const QImage splash = app::SplashBitmap().toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < splash.height(); y += 2) {
        for (int x = 0; x < splash.width(); x += 2) colours.insert(splash.pixel(x, y));
    }
    EXPECT_GT(colours.size(), 200) << "the splash bitmap is nearly blank";
    EXPECT_GT(splash.width(), splash.height());

    const QIcon icon = app::ApplicationIcon();
    QList<int> sizes;
    for (const QSize& size : icon.availableSizes()) {
        EXPECT_EQ(size.width(), size.height());
        sizes.append(size.width());
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (QList<int>{16, 32, 48, 64, 128, 256}));
    for (int size : sizes) {
        // A round record: clear in the corners, solid in the middle and on the rim.
        const QImage image = icon.pixmap(size, size).toImage();
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(image.pixel(size - 1, size - 1)), 0) << size;
        EXPECT_EQ(qAlpha(image.pixel(size / 2 + size / 5, size / 2)), 255) << size;
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 20 + 1)), 255) << size;
    }
}

TEST(About, ShowsTheIconAndVersionAndOkClosesIt) {
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About Orvo2");
    EXPECT_TRUE(about.isModal());
    about.show();
    EXPECT_EQ(about.findChild<QLabel*>("version")->text(), "Orvo 2 Version 1.1.3");
    EXPECT_FALSE(about.findChild<QLabel*>("secondLine")->text().isEmpty());
    const QLabel* icon = about.findChild<QLabel*>("icon");
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->pixmap().size(), QSize(48, 48));
    QPushButton* ok = about.findChild<QPushButton*>("ok");
    EXPECT_EQ(ok->text(), "OK");
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}
