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

#include <climits>
#include <set>

#include "app/CZelTipOfTheDay.h"
#include "settings/CZelSettings.h"

namespace {

const QString kFirstTip =
    "To get started:\n\n1. Click the chooser box on Deck A that says \"Nothing Loaded\"\n2. Select "
    "\"Browse...\"\n3. Choose a sound file\n4. Click the play/pause button.";
const QString kSecondTip = "Double click an item on the play list to send it to a deck.";

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

TEST(TipOfTheDay, NextWalksEveryTipOkSavesThePlaceAfterTheShownTipEscapeAndCloseDoNot) {
    Scratch scratch;
    QStringList walked;  // the tips after the first, in order
    {
        CZelTipOfTheDay dialog(scratch.settings);
        dialog.show();
        EXPECT_EQ(dialog.windowTitle(), "Tip Of The Day");
        EXPECT_EQ(dialog.findChild<QPushButton*>("nextTip")->text(), "Next Tip");
        EXPECT_EQ(dialog.findChild<QCheckBox*>("showTips")->text(), "Show Tips At Startup");
        EXPECT_TRUE(dialog.findChild<QCheckBox*>("showTips")->isChecked());
        EXPECT_EQ(Shown(dialog), kFirstTip);

        // Next Tip walks 15 different tips in order, saving the place each
        // time, and wraps from the last to the first.
        const QLabel* text = dialog.findChild<QLabel*>("tipText");
        const QSize area = text->size();
        for (int step = 1; step <= 16; ++step) {
            Click(dialog, "nextTip");
            walked.append(Shown(dialog));
            EXPECT_EQ(scratch.StoredIndex(), step % 15);
            EXPECT_EQ(text->size(), area) << "the tip area keeps its size";
            EXPECT_LE(text->heightForWidth(area.width()), area.height())
                << "tip " << step % 15 + 1 << " is cut off";
        }
        EXPECT_EQ(walked[0], kSecondTip);
        EXPECT_EQ(walked[14], kFirstTip);
        EXPECT_EQ(std::set(walked.begin(), walked.end()).size(), 15u);
        Click(dialog, "ok");
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(scratch.StoredIndex(), 2) << "the tip after the one shown";
    }
    CZelTipOfTheDay again(scratch.settings);
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    EXPECT_EQ(Shown(again), walked[1]);
    Click(again, "nextTip");
    QTest::keyClick(&again, Qt::Key_Escape);
    EXPECT_FALSE(again.isVisible());
    EXPECT_EQ(again.result(), QDialog::Rejected);
    again.show();
    EXPECT_TRUE(again.close());
    EXPECT_EQ(scratch.StoredIndex(), 3);

    // It moves on from the stored index, whoever stored it; OK on the last tip saves the first.
    scratch.settings.WriteTipOfTheDayIndex(13);
    again.show();
    Click(again, "nextTip");
    EXPECT_EQ(Shown(again), walked[13]);
    Click(again, "ok");
    EXPECT_EQ(scratch.StoredIndex(), 0);
}

TEST(TipOfTheDay, ShowTipsAtStartupIsSavedAtOnceAndDecidesWhetherTheWindowAppears) {
    Scratch scratch;
    CZelTipOfTheDay dialog(scratch.settings);
    dialog.show();
    for (const bool show : {false, true, false}) {
        Click(dialog, "showTips");
        EXPECT_EQ(scratch.StoredShow(), show);
    }
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
    presser.callOnTimeout([&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* tip = qobject_cast<CZelTipOfTheDay*>(window);
            if (!tip || !tip->isVisible()) continue;
            shownText = Shown(*tip);
            wasModal = tip->isModal();
            tip->findChild<QPushButton*>("ok")->click();
        }
    });
    presser.start(0);
    EXPECT_TRUE(CZelTipOfTheDay::ShowAtStartUpIfWanted(scratch.settings, nullptr));
    EXPECT_EQ(shownText, kFirstTip);
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(scratch.StoredIndex(), 1);
}

TEST(TipOfTheDay, AHandEditedIndexThatNamesNoTipShowsTheFirstTip) {
    Scratch scratch;
    for (int stored : {15, 99, -1, -3, INT_MAX, INT_MIN}) {
        scratch.settings.WriteTipOfTheDayIndex(stored);
        CZelTipOfTheDay dialog(scratch.settings);
        dialog.show();
        EXPECT_EQ(Shown(dialog), kFirstTip) << stored;
        Click(dialog, "nextTip");
        EXPECT_EQ(Shown(dialog), kSecondTip) << stored;
        EXPECT_EQ(scratch.StoredIndex(), 1) << stored;
    }
}
