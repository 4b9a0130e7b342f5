// The decks' equalizer and effects windows in the program: what the user does
// in them reaches the main window as messages naming their own deck, and a
// sound device choice switches them off or, for a split device, leaves their
// switches unavailable. What they decide is tested on their panels alone.

#include <QComboBox>
#include <QFontMetricsF>

#include <algorithm>

#include "app/SteppedDesk.h"
#include "dsp/CZelEffects.h"
#include "dsp/CZelEqualizer2.h"
#include "dsp/DeckShaping.h"
#include "dsp/SentMessages.h"
#include "platform/MessagePort.h"
#include "ui/WindowArrangement.h"
#include "ui/controls/CZelTextIndicator.h"

using platform::Message;
using testing::ElementsAre;
using testing_support::Find;
using testing_support::Sent;
using testing_support::SentMessages;

namespace {

// Keeps the messages of the equalizers, the effects and the keys that the
// main window handles, and lets it handle them as before.
void Record(COrvo2Dlg& window, SentMessages& messages) {
    window.MessagePort().SetHandler([&window, &messages](Message message, const platform::Payload& payload) {
        const auto code = static_cast<uint32_t>(message);
        const bool shaping = code >= static_cast<uint32_t>(Message::EffectOn) &&
                             code <= static_cast<uint32_t>(Message::EqualizerOn) &&
                             message != Message::EndOfTrack;
        if (shaping || message == Message::ForwardedKey)
            messages.sent.push_back(testing_support::SentOf(message, payload));
        return window.OnMessage(message, payload);
    });
}

struct DeckSwitches {
    CZelButton* equalizer;
    CZelButton* effect;
};

DeckSwitches SwitchesOf(COrvo2Dlg& window, int deck) {
    return {Find<CZelButton>(window.Equalizer(deck), "eqOnButton"),
            Find<CZelButton>(window.Effects(deck), "effectOnOff")};
}

}  // namespace

TEST(DeckShapingWindows, WhatTheUserDoesInThemReachesTheMainWindowForTheirDeck) {
    testing_support::SteppedDesk desk;
    COrvo2Dlg& window = desk.Window();
    SentMessages messages;
    Record(window, messages);
    for (int deck = 0; deck < 2; ++deck) {
        SCOPED_TRACE(deck);
        CZelEqualizer2& equalizer = window.Equalizer(deck);
        CZelEffects& effects = window.Effects(deck);
        const QString name = deck == 0 ? "Deck A" : "Deck B";
        EXPECT_EQ(equalizer.windowTitle(), name + " Equalizer");
        EXPECT_EQ(effects.windowTitle(), name + " Effects");
        EXPECT_EQ(equalizer.Code(), ui::kEqualizerCode);
        EXPECT_EQ(effects.Code(), ui::kEffectsCode);
        const DeckSwitches on = SwitchesOf(window, deck);
        ASSERT_TRUE(on.equalizer->isEnabled() && on.effect->isEnabled())
            << "two devices: the switches are free";

        QTest::mouseClick(on.equalizer, Qt::LeftButton);
        QTest::mouseClick(on.effect, Qt::LeftButton);
        EXPECT_TRUE(on.equalizer->Value() && on.effect->Value());

        // Five bands: their button alone pressed, all five slides in use.
        auto* five = Find<CZelButton>(equalizer, "eqFiveBands");
        auto* three = Find<CZelButton>(equalizer, "eqThreeBands");
        auto* fifthSlide = Find<CZelSlide>(equalizer, "eqBandSlide5");
        EXPECT_TRUE(three->Value() && fifthSlide->isHidden()) << "three bands at the start";
        QTest::mouseClick(five, Qt::LeftButton);
        QTest::mouseClick(five, Qt::LeftButton);  // pressed again, it stays pressed
        EXPECT_TRUE(five->Value());
        EXPECT_FALSE(three->Value());
        EXPECT_FALSE(fifthSlide->isHidden());
        EXPECT_EQ(equalizer.Panel().Bands(), 5);

        // A band slide stepped by the keyboard, then reset by a right release.
        auto* band = Find<CZelSlide>(equalizer, "eqBandSlide2");
        QTest::keyClick(band, Qt::Key_Up);
        EXPECT_NEAR(band->Value(), 1.005, 1e-12);
        QTest::mouseRelease(band, Qt::RightButton);
        EXPECT_EQ(band->Value(), 1.0);
        EXPECT_EQ(equalizer.Panel().Gain(1), 1.0);
        // A key the slide does not use goes to the main window.
        QTest::keyClick(band, Qt::Key_P);

        // An effect chosen in the chooser: its values shown, then installed.
        auto* chooser = Find<QComboBox>(effects, "effectChooser");
        EXPECT_EQ(chooser->currentText(), "No Effect");
        EXPECT_EQ(chooser->count(), 8);
        chooser->setCurrentIndex(chooser->findText("Echo"));
        EXPECT_EQ(Find<CZelTextIndicator>(effects, "effectParameter2Value")->Text(), "500%");
        EXPECT_EQ(effects.EffectName(), "Echo");
        QTest::keyClick(&effects, Qt::Key_Q);

        EXPECT_THAT(
            messages.Take(),
            ElementsAre(Sent{Message::EqualizerOn, deck}, Sent{Message::EffectOn, deck},
                        Sent{Message::EqualizerOn, deck}, Sent{Message::EqualizerOn, deck},
                        Sent{Message::EqualizerBandGain, deck, 1}, Sent{Message::EqualizerBandGain, deck, 1},
                        Sent{Message::ForwardedKey, deck, Qt::Key_P}, Sent{Message::EffectParameter, deck, 0},
                        Sent{Message::EffectParameter, deck, 1}, Sent{Message::EffectOn, deck},
                        Sent{Message::ForwardedKey, deck, Qt::Key_Q}));
    }
}

TEST(DeckShapingWindows, ADeviceChoiceSwitchesThemOffAndASplitDeviceLeavesThemUnavailable) {
    {
        testing_support::SteppedDesk desk;
        COrvo2Dlg& window = desk.Window();
        for (int deck = 0; deck < 2; ++deck) {
            QTest::mouseClick(SwitchesOf(window, deck).equalizer, Qt::LeftButton);
            QTest::mouseClick(SwitchesOf(window, deck).effect, Qt::LeftButton);
        }
        SentMessages messages;
        Record(window, messages);
        window.OnNewDeviceChoice();
        EXPECT_THAT(messages.Take(),
                    ElementsAre(Sent{Message::EqualizerOff, 0}, Sent{Message::EffectOff, 0},
                                Sent{Message::EqualizerOff, 1}, Sent{Message::EffectOff, 1}));
        for (int deck = 0; deck < 2; ++deck) {
            const DeckSwitches off = SwitchesOf(window, deck);
            EXPECT_FALSE(off.equalizer->Value() || off.effect->Value());
            EXPECT_TRUE(off.equalizer->isEnabled() && off.effect->isEnabled());
            EXPECT_FALSE(window.Equalizer(deck).Panel().IsOn() || window.Effects(deck).Panel().IsOn());
        }
    }

    // The front half for the main output, the rear half for the headphones.
    testing_support::SteppedDesk desk({{"Quad", 4}}, [](CZelSettings& settings) {
        settings.WriteSoundDeviceMain("Quad (Front)");
        settings.WriteSoundDeviceHeadphones("Quad (Rear)");
    });
    COrvo2Dlg& window = desk.Window();
    ASSERT_TRUE(window.MainOutput().IsOpen() && window.HeadphonesOutput().IsOpen());
    ASSERT_TRUE(window.HeadphonesOutput().Device()->IsRear()) << "a split device";
    for (int deck = 0; deck < 2; ++deck) {
        const DeckSwitches split = SwitchesOf(window, deck);
        EXPECT_FALSE(split.equalizer->isEnabled() || split.effect->isEnabled()) << deck;
        EXPECT_FALSE(split.equalizer->Value() || split.effect->Value()) << deck;
    }
}

// Both windows from their smallest size to a large one, in the shapes the
// window arrangement gives them (a strip under a deck, a column beside it):
// every control inside the window and clear of the others, every caption
// inside its control, and the texts growing with the window.
TEST(DeckShapingWindows, TheyStayTidyAndReadableFromTheirSmallestSizeUp) {
    platform::MessagePort port;
    port.SetHandler([](Message, const platform::Payload&) { return intptr_t{0}; });
    dsp::DeckShaping shaping;
    CZelEqualizer2 equalizer(0, shaping.Equalizer(0), port);
    CZelEffects effects(1, shaping.EffectParameters(), port);
    equalizer.Panel().ChooseBands(5);
    effects.Panel().ChooseEffect("Reverb");
    for (CZelToolWindow* window :
         {static_cast<CZelToolWindow*>(&equalizer), static_cast<CZelToolWindow*>(&effects)}) {
        window->show();
        double smallestButtonPoints = 0.0;
        for (const QSize size : {window->minimumSize(), QSize(244, 290), QSize(488, 281), QSize(733, 201),
                                 QSize(977, 317), QSize(1400, 700)}) {
            SCOPED_TRACE(testing::Message() << window->windowTitle().toStdString() << " at " << size.width()
                                            << "x" << size.height());
            window->resize(size);
            ASSERT_EQ(window->size(), size);
            QList<QWidget*> controls;
            for (QWidget* control : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (control->isVisible()) controls.push_back(control);
            ASSERT_GE(controls.size(), 6);
            for (qsizetype i = 0; i < controls.size(); ++i) {
                const QWidget* a = controls[i];
                EXPECT_TRUE(window->rect().contains(a->geometry())) << a->objectName().toStdString();
                for (qsizetype j = i + 1; j < controls.size(); ++j)
                    EXPECT_FALSE(a->geometry().intersects(controls[j]->geometry()))
                        << a->objectName().toStdString() << " and "
                        << controls[j]->objectName().toStdString();
            }
            double buttonPoints = 0.0;
            for (CZelButton* button : window->findChildren<CZelButton*>()) {
                const CZelButton::CaptionFit fit = button->FitCaption(button->CaptionRect().size());
                buttonPoints = fit.font.pointSizeF();
                for (const QString& line : fit.text.split(u'\n'))
                    EXPECT_LE(QFontMetricsF(fit.font).horizontalAdvance(line), button->CaptionRect().width())
                        << button->objectName().toStdString();
            }
            for (CZelSlide* slide : window->findChildren<CZelSlide*>()) {
                if (!slide->isVisible()) continue;
                const qreal room =
                    slide->Orientation() == Qt::Vertical ? slide->width() : slide->BodyRect().left();
                EXPECT_LE(QFontMetricsF(slide->font()).horizontalAdvance(slide->Caption()), room)
                    << slide->objectName().toStdString();
            }
            for (CZelTextIndicator* value : window->findChildren<CZelTextIndicator*>())
                EXPECT_LE(QFontMetricsF(value->font()).horizontalAdvance(value->Text()), value->width() - 8);
            if (window == &effects) {
                auto track = [&](const char* name) {
                    auto* slide = Find<CZelSlide>(effects, name);
                    return slide->BodyRect().translated(slide->pos());
                };
                EXPECT_EQ(track("effectParameter1Slide").left(), track("effectParameter2Slide").left());
                EXPECT_EQ(track("effectParameter1Slide").right(), track("effectParameter2Slide").right());
            }
            if (smallestButtonPoints == 0.0) smallestButtonPoints = buttonPoints;
        }
        EXPECT_GE(QFontInfo(window->findChild<CZelButton*>()->font()).pointSizeF(), 2 * smallestButtonPoints)
            << "large, the texts are large too";
        window->hide();
    }
}
