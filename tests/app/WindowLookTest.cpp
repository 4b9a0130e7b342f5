// The program's windows as a user sees them: where they go on common
// screens, what the main window's controls look like in its column, the dark
// look of every dialog, and where the About box is found.
#include <gtest/gtest.h>

#include <set>

#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include "app/CAboutDlg.h"
#include "app/COrvo2Dlg.h"
#include "app/CZelCommandLineInfo.h"
#include "app/CZelTipOfTheDay.h"
#include "deck/CZelDeck2.h"
#include "engine/EngineEvents.h"
#include "output/CZelOutput.h"
#include "platform/sound/OfflineBackend.h"
#include "platform/sound/SoundSystem.h"
#include "settings/CZelSettings.h"
#include "support/Waits.h"
#include "ui/CZelToolWindow.h"
#include "ui/DarkLook.h"
#include "ui/WindowArrangement.h"
#include "ui/WindowArranger.h"
#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelLed.h"
#include "ui/controls/CZelSlide.h"

namespace {

using testing_support::WaitUntil;

class WindowLook : public ::testing::Test {
protected:
    WindowLook()
        : sound_(std::make_unique<platform::sound::OfflineBackend>(
              std::vector<platform::sound::OfflineBackend::Device>{{"Desk", 2}})),
          settings_(dir_.path() + "/settings.ini") {
        settings_.WriteShowTipOfTheDay(false);
    }
    void TearDown() override {
        if (dialog_) dialog_->done(0);
    }
    COrvo2Dlg& Open() {
        dialog_ = std::make_unique<COrvo2Dlg>(events_, commandLine_, sound_, settings_);
        EXPECT_TRUE(WaitUntil([&] { return dialog_->MainOutput().IsOpen(); }));
        return *dialog_;
    }
    // The main window and every tool window it shows.
    std::vector<QWidget*> ShownWindows() const {
        std::vector<QWidget*> windows{dialog_.get()};
        for (CZelToolWindow* tool : dialog_->findChildren<CZelToolWindow*>())
            if (tool->isVisible()) windows.push_back(tool);
        return windows;
    }

    QTemporaryDir dir_;
    engine::EngineEvents events_;
    app::CZelCommandLineInfo commandLine_;
    platform::sound::SoundSystem sound_;
    CZelSettings settings_;
    std::unique_ptr<COrvo2Dlg> dialog_;
};

// Calls `open`, and on the first modal dialog or popup menu of type Widget to
// open meanwhile runs `look` and closes it. False when none opened.
template <typename Widget>
bool LookAtWhatOpens(const std::function<void()>& open, const std::function<void(Widget*)>& look) {
    bool seen = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* top = QApplication::activePopupWidget();
        if (!top) top = QApplication::activeModalWidget();
        if (auto* widget = qobject_cast<Widget*>(top)) {
            poll.stop();
            seen = true;
            look(widget);
            widget->close();
        }
    });
    poll.start();
    open();
    return seen;
}

// A point of the window's background, where no control is.
QPoint Background(const QWidget& window) {
    for (int y = window.height() - 2; y > 0; y -= 3)
        for (int x = 1; x < window.width(); x += 3)
            if (!window.childAt(x, y)) return {x, y};
    return {};
}

// Dark backgrounds and light text.
bool IsDark(const QPalette& p) {
    return std::max(p.color(QPalette::Window).lightness(), p.color(QPalette::Base).lightness()) < 80 &&
           std::min(p.color(QPalette::WindowText).lightness(), p.color(QPalette::Text).lightness()) > 180;
}

}  // namespace

TEST_F(WindowLook, EveryWindowFitsOnEveryCommonScreen) {
    COrvo2Dlg& dialog = Open();
    for (const QSize size :
         {QSize(1280, 720), QSize(1366, 768), QSize(1280, 800), QSize(1920, 1080), QSize(2560, 1440)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        const QRect screen({0, 0}, size);
        dialog.Arranger().ArrangeOn(screen, ui::kMainWindowCode, 0);
        QCoreApplication::processEvents();
        const std::vector<QWidget*> windows = ShownWindows();
        // The main window, both decks, both equalizers, both effects windows,
        // the analyzer and the play list; every show button lit.
        EXPECT_EQ(windows.size(), 9u);
        for (CZelButton* show : dialog.findChildren<CZelButton*>(QRegularExpression("^show(?!Sound)"),
                                                                 Qt::FindDirectChildrenOnly))
            EXPECT_TRUE(show->Value()) << show->objectName().toStdString();
        for (size_t i = 0; i < windows.size(); ++i) {
            const QWidget* w = windows[i];
            SCOPED_TRACE(w->windowTitle().toStdString());
            EXPECT_TRUE(screen.contains(w->frameGeometry()));
            EXPECT_GE(w->width(), w->minimumWidth());
            EXPECT_GE(w->height(), w->minimumHeight());
            for (size_t j = i + 1; j < windows.size(); ++j)
                EXPECT_FALSE(w->frameGeometry().intersects(windows[j]->frameGeometry()))
                    << "overlaps " << windows[j]->windowTitle().toStdString();
        }
    }
}

TEST_F(WindowLook, MainWindowControlsAreReadableAndAlignedInTheSmallestColumn) {
    COrvo2Dlg& dialog = Open();
    dialog.Arranger().ArrangeOn({0, 0, 1280, 720}, ui::kMainWindowCode, 0);
    QCoreApplication::processEvents();
    ASSERT_LE(dialog.width(), 310) << "the middle column of a 1280 wide screen";

    // Captions of all controls alike and readable; each fits its control, a
    // button's as drawn, on one line or broken in two.
    std::set<int> points;
    for (CZelSlide* slide : dialog.findChildren<CZelSlide*>(Qt::FindDirectChildrenOnly)) {
        if (slide->Caption().isEmpty()) continue;
        points.insert(slide->font().pointSize());
        const qreal room = slide->Orientation() == Qt::Vertical ? slide->width() : slide->BodyRect().left();
        EXPECT_LE(QFontMetrics(slide->font()).horizontalAdvance(slide->Caption()), room);
    }
    for (CZelButton* button : dialog.findChildren<CZelButton*>(Qt::FindDirectChildrenOnly)) {
        points.insert(button->font().pointSize());
        const CZelButton::CaptionFit fit = button->FitCaption(button->CaptionRect().size());
        EXPECT_GE(fit.font.pointSizeF(), 7.0) << button->objectName().toStdString();
        for (const QString& line : fit.text.split('\n'))
            EXPECT_LE(QFontMetricsF(fit.font).horizontalAdvance(line), button->CaptionRect().width());
    }
    EXPECT_EQ(points.size(), 1u);
    EXPECT_GE(*points.begin(), 7);

    // The cross faders' tracks start and end at one place and are long enough
    // to work with a mouse; the balance is several thumbs long.
    auto track = [&](const char* name) {
        auto* slide = dialog.findChild<CZelSlide*>(name);
        return slide->BodyRect().translated(slide->pos()).toRect();
    };
    const QRect main = track("mainCrossFader"), phones = track("headphonesCrossFader");
    EXPECT_EQ(main.left(), phones.left());
    EXPECT_EQ(main.right(), phones.right());
    EXPECT_GE(main.width(), 150);
    EXPECT_GE(track("balance").width(), 3 * track("balance").height()) << "six thumbs long";

    // No two controls of the window cover each other.
    const QList<QWidget*> controls = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (qsizetype i = 0; i < controls.size(); ++i) {
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            const QWidget *a = controls[i], *b = controls[j];
            if (a->isWindow() || b->isWindow() || !a->isVisible() || !b->isVisible()) continue;
            EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                << a->objectName().toStdString() << " and " << b->objectName().toStdString();
        }
    }

    // Ten lamps per deck, stacked upwards between the two level slides.
    const int levelA = dialog.findChild<CZelSlide*>("levelDeckA")->geometry().right();
    const int levelB = dialog.findChild<CZelSlide*>("levelDeckB")->geometry().left();
    for (const char deck : {'A', 'B'}) {
        for (int i = 1; i <= 10; ++i) {
            const QRect lamp =
                dialog.findChild<CZelLed*>(QString("levelLamp%1%2").arg(deck).arg(i))->geometry();
            EXPECT_TRUE(lamp.left() > levelA && lamp.right() < levelB) << deck << i;
            if (i == 1) continue;
            EXPECT_EQ(lamp.bottom() + 1,
                      dialog.findChild<CZelLed*>(QString("levelLamp%1%2").arg(deck).arg(i - 1))->y());
        }
    }
}

TEST_F(WindowLook, DialogsMenusAndToolTipsAreDark) {
    const QPalette before = QApplication::palette();
    const QString style = QApplication::style()->name();
    ui::ApplyDarkLook(*qApp);
    QMessageBox box(QMessageBox::Question, "Orvo 2", "Stop the music and quit?");
    QFileDialog files(nullptr, "Browse");
    files.setOption(QFileDialog::DontUseNativeDialog);
    QMenu menu;
    for (QWidget* widget : std::initializer_list<QWidget*>{&box, &files, &menu}) {
        SCOPED_TRACE(widget->metaObject()->className());
        EXPECT_TRUE(IsDark(widget->palette()));
    }
    EXPECT_LT(QToolTip::palette().color(QPalette::ToolTipBase).lightness(), 80);
    EXPECT_EQ(QApplication::style()->name(), "fusion") << "a style that draws from the palette";
    QApplication::setStyle(style);
    QApplication::setPalette(before);
    QToolTip::setPalette(before);
}

TEST_F(WindowLook, AboutOpensWithF1FromAnyWindowAndFromBackgroundMenus) {
    COrvo2Dlg& dialog = Open();
    CZelDeck2& deck = dialog.Deck(1);
    for (QWidget* window : {static_cast<QWidget*>(&dialog), static_cast<QWidget*>(&deck)}) {
        SCOPED_TRACE(window->windowTitle().toStdString());
        EXPECT_TRUE(window->testAttribute(Qt::WA_AlwaysShowToolTips))
            << "tips while another window is active";
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QString title;
        EXPECT_TRUE(LookAtWhatOpens<CAboutDlg>([&] { QTest::keyClick(window, Qt::Key_F1); },
                                               [&](CAboutDlg* about) { title = about->windowTitle(); }));
        EXPECT_EQ(title, "About Orvo2");

        // A right click on the background offers it; on a control it does not.
        QStringList items;
        auto rightClick = [&](QWidget* target, QPoint at) {
            QContextMenuEvent click(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
            return LookAtWhatOpens<QMenu>([&] { QApplication::sendEvent(target, &click); },
                                          [&](QMenu* menu) {
                                              for (QAction* action : menu->actions()) items << action->text();
                                          });
        };
        EXPECT_TRUE(rightClick(window, Background(*window)));
        EXPECT_EQ(items, QStringList{"&About Orvo2 ..."});
        CZelSlide* slide = window->findChild<CZelSlide*>(QString(), Qt::FindDirectChildrenOnly);
        EXPECT_FALSE(rightClick(window, slide->geometry().center())) << "a control keeps its right click";
    }
    EXPECT_TRUE(dialog.toolTip().contains("F1")) << "the main window's background says where About is";
}

TEST_F(WindowLook, SplashGivesWayToTheTipOfTheDay) {
    settings_.WriteShowTipOfTheDay(true);
    bool splashOverTip = true;
    const bool tipShown = LookAtWhatOpens<CZelTipOfTheDay>(
        [&] { Open(); },
        [&](CZelTipOfTheDay*) {
            splashOverTip = false;
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->windowType() == Qt::SplashScreen && window->isVisible()) splashOverTip = true;
        });
    EXPECT_TRUE(tipShown);
    EXPECT_FALSE(splashOverTip);
}
