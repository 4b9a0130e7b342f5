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

#include <algorithm>
#include <memory>

#include "app/CAboutDlg.h"
#include "app/CZelSplashScreen.h"
#include "app/Orvo2Art.h"

TEST(Splash, ShowsOurBitmapCentredOnTheScreenUntilItsTimeIsUp) {
    const QPixmap bitmap = app::SplashBitmap();
    const QImage image = bitmap.toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
    }
    EXPECT_GT(colours.size(), 200) << "the splash bitmap is nearly blank";
    CZelSplashScreen splash;
    EXPECT_FALSE(splash.IsShowing());
    ASSERT_TRUE(splash.Create(300, nullptr));
    QWidget* window = splash.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(splash.IsShowing() && window->isVisible());
    EXPECT_EQ(window->windowType(), Qt::SplashScreen);
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(window->geometry(),
              QRect(QPoint((screen.width() - bitmap.width()) / 2, (screen.height() - bitmap.height()) / 2),
                    bitmap.size()));
    EXPECT_EQ(window->grab().toImage().convertToFormat(QImage::Format_RGB32),
              image.convertToFormat(QImage::Format_RGB32))
        << "the window shows the whole bitmap from its top left corner";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !splash.IsShowing(); }, 60'000)) << "its own timer hides it";

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
    parent.reset();
    EXPECT_FALSE(splash->IsShowing());
}

TEST(About, ShowsTheIconAndVersionAndOkClosesIt) {
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About Orvo2");
    EXPECT_TRUE(about.isModal());
    about.show();
    EXPECT_EQ(about.findChild<QLabel*>("version")->text(), "Orvo 2 Version 1.1.3");
    EXPECT_FALSE(about.findChild<QLabel*>("secondLine")->text().isEmpty());
    EXPECT_EQ(about.findChild<QLabel*>("icon")->pixmap().size(), QSize(48, 48));
    QPushButton* ok = about.findChild<QPushButton*>("ok");
    EXPECT_EQ(ok->text(), "OK");
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);

    // The program's icon comes in every size a desktop asks for.
    QList<int> sizes;
    for (const QSize& size : app::ApplicationIcon().availableSizes()) sizes.append(size.width());
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (QList<int>{16, 32, 48, 64, 128, 256}));
}
