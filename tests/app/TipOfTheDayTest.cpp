// The "Tip Of The Day" window: which tip it shows, how it moves on, and what
// it saves.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <array>
#include <climits>

#include "app/CZelTipOfTheDay.h"
#include "settings/CZelSettings.h"

namespace {

const std::array<QString, 15> kTips = {
    "To get started:\n\n1. Click the chooser box on Deck A that says \"Nothing Loaded\"\n2. Select "
    "\"Browse...\"\n3. Choose a sound file\n4. Click the play/pause button.",
    "Double click an item on the play list to send it to a deck.",
    "If you don't have Nero installed you can't play CDs.",
    "Some keyboard shortcuts:\n\nQ: Deck A Cue\nW: Deck A Play\nO: Deck B Cue\nP: Deck B Play\n",
    "More keyboard shortcuts:\n\n1-5: Deck A Position\n6-0: Deck B Position\nPgUp and PgDown: Master "
    "Volume\nCtrl-PgUp and Ctrl-PgDown: Headphones Volume\nT and G: Deck A Level\nY and H: Deck B "
    "Level\n\nHold Shift to move things faster.",
    "More keyboard shortcuts:\n\nR and F: Deck A Tempo\nU and J: Deck B Tempo\nB and N: Cross Fader "
    "Position\nCtrl-B and Ctrl-N: Headphones Cross Fader Position\nHome and End: Cross Fader Curve "
    "Adjust\n\nHold Shift to move things faster.",
    "More keyboard shortcuts:\n\nV: Cross Fader All Left\nM: Cross Fader All Right\nA,S,D: Deck A EQ Band "
    "Up\nZ,X,C: Deck A EQ Band Down\nCtrl-A,S,D: Deck B EQ Band Up\nCtrl-Z,X,C: Deck B EQ Band "
    "Down\n\nHold Shift to move things faster.",
    "Keyboard shortcuts will not work if the play list is the active window.",
    "To delete all items in the Play List: hold shift while clicking the delete button.",
    "Right clicking things resets them.  For instance, make the play list bigger, then right click the "
    "LIST button to put the Play List back in its place.",
    "You can split a four channel sound device so you can use the front and rear outputs separately for "
    "the headphones and main output.  This will however make their volume controls the same.",
    "Neither effects or the equalizer will work on a split sound device.",
    "You can only play backwards for about 7 seconds.",
    "If you want to record on the same computer: find a program called the Virtual Audio Cable.",
    "Some interesting facts about Orvo 2:\n\nThe LEDs spin at exactly 33 1/3 RPM when playing at normal "
    "speed and at CD samplng frequency.\n\nThere are significant number of golden rectangles in the "
    "layout.  See how many you can find.",
};

QString Shown(const CZelTipOfTheDay& dialog) {
    return dialog.findChild<QLabel*>("tipText")->text();
}

void Click(const CZelTipOfTheDay& dialog, const char* name) {
    QAbstractButton* button = dialog.findChild<QAbstractButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    button->click();
}

// A scratch settings file; a second object on the same file reads what the
// dialog saved, as the next start of the program would.
struct Scratch {
    QTemporaryDir dir;
    CZelSettings settings{dir.path() + "/settings.ini"};
    int StoredIndex() const { return CZelSettings(settings.FileName()).TipOfTheDayIndex().value; }
    bool StoredShow() const { return CZelSettings(settings.FileName()).ShowTipOfTheDay().value; }
};

}  // namespace

TEST(TipOfTheDay, FirstStartShowsTheFirstTipAndOkSavesTheNextForNextTime) {
    Scratch scratch;
    {
        CZelTipOfTheDay dialog(scratch.settings);
        dialog.show();
        EXPECT_EQ(dialog.windowTitle(), "Tip Of The Day");
        EXPECT_EQ(dialog.TipCount(), 15);
        EXPECT_TRUE(dialog.findChild<QCheckBox*>("showTips")->isChecked());
        EXPECT_EQ(dialog.findChild<QPushButton*>("nextTip")->text(), "Next Tip");
        EXPECT_EQ(dialog.findChild<QCheckBox*>("showTips")->text(), "Show Tips At Startup");
        EXPECT_EQ(Shown(dialog), kTips[0]);
        const QSize size = dialog.size();
        Click(dialog, "ok");
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(scratch.StoredIndex(), 1);
        EXPECT_EQ(dialog.minimumSize(), size) << "the window has a fixed size";
        EXPECT_EQ(dialog.maximumSize(), size);
    }
    CZelTipOfTheDay again(scratch.settings);
    EXPECT_EQ(Shown(again), kTips[1]);
}

TEST(TipOfTheDay, NextTipWalksEveryTipInOrderAndWrapsFromTheLastToTheFirst) {
    Scratch scratch;
    CZelTipOfTheDay dialog(scratch.settings);
    dialog.show();
    const QLabel* text = dialog.findChild<QLabel*>("tipText");
    const QSize area = text->size();
    for (int step = 1; step <= 15; ++step) {
        Click(dialog, "nextTip");
        const int index = step % 15;
        EXPECT_EQ(Shown(dialog), kTips[index]) << "tip " << index + 1;
        EXPECT_EQ(scratch.StoredIndex(), index);
        EXPECT_EQ(text->size(), area) << "the tip area keeps its size";
        EXPECT_LE(text->heightForWidth(area.width()), area.height()) << "tip " << index + 1 << " is cut off";
    }

    // It moves on from the stored index, whoever stored it.
    scratch.settings.WriteTipOfTheDayIndex(5);
    Click(dialog, "nextTip");
    EXPECT_EQ(Shown(dialog), kTips[6]);
}

TEST(TipOfTheDay, OkMovesThePlaceOnButEscapeAndTheCloseBoxDoNot) {
    Scratch scratch;
    scratch.settings.WriteTipOfTheDayIndex(4);
    {
        CZelTipOfTheDay dialog(scratch.settings);
        dialog.show();
        EXPECT_EQ(Shown(dialog), kTips[4]);
        Click(dialog, "nextTip");
        Click(dialog, "nextTip");
        EXPECT_EQ(Shown(dialog), kTips[6]);
        Click(dialog, "ok");
        EXPECT_EQ(scratch.StoredIndex(), 7);
    }
    {
        CZelTipOfTheDay dialog(scratch.settings);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(scratch.StoredIndex(), 7);
    }
    {
        CZelTipOfTheDay dialog(scratch.settings);
        dialog.show();
        EXPECT_EQ(Shown(dialog), kTips[7]);
        EXPECT_TRUE(dialog.close());
        EXPECT_EQ(scratch.StoredIndex(), 7);
        dialog.show();
        dialog.reject();
        EXPECT_EQ(scratch.StoredIndex(), 7);
    }
    // OK on the last tip saves the first.
    scratch.settings.WriteTipOfTheDayIndex(14);
    CZelTipOfTheDay last(scratch.settings);
    last.show();
    Click(last, "ok");
    EXPECT_EQ(scratch.StoredIndex(), 0);
}

TEST(TipOfTheDay, ShowTipsAtStartupIsSavedAtOnceAndDecidesWhetherTheWindowAppears) {
    Scratch scratch;
    CZelTipOfTheDay dialog(scratch.settings);
    dialog.show();
    EXPECT_TRUE(scratch.StoredShow());
    Click(dialog, "showTips");
    EXPECT_FALSE(scratch.StoredShow());
    Click(dialog, "showTips");
    EXPECT_TRUE(scratch.StoredShow());
    Click(dialog, "showTips");
    EXPECT_FALSE(scratch.StoredShow());
    dialog.reject();
    EXPECT_FALSE(scratch.StoredShow()) << "closing keeps the choice";

    // Not wanted: returns at once, nothing shown, nothing moved on.
    EXPECT_FALSE(CZelTipOfTheDay::ShowAtStartUpIfWanted(scratch.settings, nullptr));
    EXPECT_EQ(scratch.StoredIndex(), 0);

    // Wanted: runs modally until the user presses OK.
    scratch.settings.WriteShowTipOfTheDay(true);
    QString shownText;
    bool wasModal = false;
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* tip = qobject_cast<CZelTipOfTheDay*>(window);
            if (!tip || !tip->isVisible()) continue;
            shownText = Shown(*tip);
            wasModal = tip->isModal();
            tip->findChild<QPushButton*>("ok")->click();
        }
    });
    presser.start(10);
    // Should the button be missing, the loop still ends.
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    fallback.start(10'000);
    EXPECT_TRUE(CZelTipOfTheDay::ShowAtStartUpIfWanted(scratch.settings, nullptr));
    EXPECT_EQ(shownText, kTips[0]);
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(scratch.StoredIndex(), 1);
}

TEST(TipOfTheDay, AHandEditedIndexThatNamesNoTipShowsTheFirstTip) {
    Scratch scratch;
    for (int stored : {15, 99, -1, -3, INT_MAX, INT_MIN}) {
        scratch.settings.WriteTipOfTheDayIndex(stored);
        CZelTipOfTheDay dialog(scratch.settings);
        dialog.show();
        EXPECT_EQ(Shown(dialog), kTips[0]) << stored;
        Click(dialog, "nextTip");
        EXPECT_EQ(Shown(dialog), kTips[1]) << stored;
        EXPECT_EQ(scratch.StoredIndex(), 1) << stored;

        scratch.settings.WriteTipOfTheDayIndex(stored);
        Click(dialog, "ok");
        EXPECT_EQ(scratch.StoredIndex(), 1) << stored;
    }
}
