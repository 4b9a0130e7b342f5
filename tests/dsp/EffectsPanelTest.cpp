// The effects window's decisions, driven without a window: what choosing an
// effect, moving its slides and the on switch do to the parameter table, to
// what the window shows and to the messages the output devices act on.

#include <gmock/gmock.h>

#include "dsp/EffectsPanel.h"
#include "dsp/SentMessages.h"

using dsp::EffectsPanel;
using platform::Message;
using testing::ElementsAre;
using testing_support::Sent;
using testing_support::SentMessages;

namespace {

// What the window would show.
struct ShownEffects final : EffectsPanel::View {
    struct Slide {
        QString caption;
        double minimum = 0.0;
        double maximum = 0.0;
        double value = 0.0;
        bool enabled = true;
    };
    void ShowEffect(const QString& name) override { effect = name; }
    void ShowSlide(int index, const dsp::EffectParameterDefinition& d, double value, bool enabled) override {
        slides[index] = {d.caption, d.minimum, d.maximum, value, enabled};
    }
    void ShowValueText(int index, const QString& text) override { texts[index] = text; }

    QString effect;
    std::array<Slide, 2> slides;
    std::array<QString, 2> texts;
};

class EffectsPanelTest : public ::testing::Test {
protected:
    // Deck B's, so that a message or a table entry of deck A would show.
    EffectsPanelTest() : panel(1, table, shown, messages.Sink()) {
        table.SetValue(0, 0, -7.0);
        table.SetValue(0, 1, -8.0);
        panel.Initialise();
    }

    // A user's move of a slide: the slide shows the value, then reports it.
    void Move(int index, double value) {
        shown.slides[index].value = value;
        panel.SlideChanged(index, value);
    }

    void ExpectDeckAUntouched() {
        EXPECT_EQ(table.Value(0, 0), -7.0);
        EXPECT_EQ(table.Value(0, 1), -8.0);
    }

    dsp::CZelEffectParameters table;
    ShownEffects shown;
    SentMessages messages;
    EffectsPanel panel;
};

}  // namespace

TEST_F(EffectsPanelTest, NoEffectRestsBothSlidesDisabledAtTheirMinimum) {
    EXPECT_EQ(shown.effect, "No Effect");
    for (int index = 0; index < 2; ++index) {
        EXPECT_EQ(shown.slides[index].caption, "--");
        EXPECT_FALSE(shown.slides[index].enabled);
        EXPECT_EQ(shown.slides[index].value, shown.slides[index].minimum);
        EXPECT_EQ(shown.texts[index], "--");
    }
    EXPECT_TRUE(messages.Take().empty()) << "the switch starts off";

    // Back from an effect, the slides go back to rest; a name that is no
    // effect counts as none.
    panel.ChooseEffect("Compressor");
    EXPECT_TRUE(shown.slides[0].enabled && shown.slides[1].enabled);
    EXPECT_EQ(shown.texts[1], "10dB");
    panel.ChooseEffect("Phaser");
    EXPECT_EQ(shown.effect, "No Effect");
    EXPECT_EQ(panel.Effect(), "No Effect");
    EXPECT_FALSE(shown.slides[0].enabled || shown.slides[1].enabled);
    EXPECT_EQ(shown.slides[1].caption, "--");
    EXPECT_EQ(table.Value(1, 1), shown.slides[1].minimum);
    EXPECT_EQ(shown.texts[1], "--");
    ExpectDeckAUntouched();
}

TEST_F(EffectsPanelTest, ChoosingAnEffectWhileOnSendsItsParametersThenTheEffect) {
    panel.SetOn(true);
    EXPECT_THAT(messages.Take(), ElementsAre(Sent{Message::EffectOn, 1}));

    panel.ChooseEffect("Echo");
    EXPECT_THAT(messages.Take(),
                ElementsAre(Sent{Message::EffectParameter, 1, 0}, Sent{Message::EffectParameter, 1, 1},
                            Sent{Message::EffectOn, 1}));
    EXPECT_EQ(table.Value(1, 0), 50.0);
    EXPECT_EQ(table.Value(1, 1), 500.0);
    EXPECT_EQ(table.ChosenEffect(1), "Echo") << "what the devices install";
    EXPECT_EQ(table.ChosenEffect(0), "No Effect");
    EXPECT_EQ(shown.slides[0].caption, "feedback");
    EXPECT_EQ(shown.slides[1].caption, "delay");
    EXPECT_EQ(shown.slides[1].minimum, 1.0);
    EXPECT_EQ(shown.slides[1].maximum, 2000.0);
    EXPECT_EQ(shown.slides[1].value, 500.0);
    EXPECT_TRUE(shown.slides[1].enabled);
    EXPECT_THAT(shown.texts, ElementsAre("50%", "500%"));

    // "No Effect" while on goes out the same way; the devices clear the chain.
    panel.ChooseEffect("No Effect");
    EXPECT_THAT(messages.Take(),
                ElementsAre(Sent{Message::EffectParameter, 1, 0}, Sent{Message::EffectParameter, 1, 1},
                            Sent{Message::EffectOn, 1}));
    ExpectDeckAUntouched();
}

TEST_F(EffectsPanelTest, SlidesFillTheTableAndShowTheirValueAndTellTheDevicesOnlyWhileOn) {
    panel.ChooseEffect("Gargle");
    EXPECT_THAT(shown.texts, ElementsAre("20Hz", "0Hz"));
    Move(1, 0.99);
    Move(0, 20.7);
    EXPECT_EQ(table.Value(1, 1), 0.99);
    EXPECT_EQ(table.Value(1, 0), 20.7);
    EXPECT_THAT(shown.texts, ElementsAre("20Hz", "0Hz"));
    EXPECT_TRUE(messages.Take().empty()) << "off: the table only";

    panel.SetOn(true);
    Move(1, 1.0);
    EXPECT_EQ(shown.texts[1], "1Hz");
    panel.SetOn(false);
    EXPECT_THAT(messages.Take(), ElementsAre(Sent{Message::EffectOn, 1}, Sent{Message::EffectParameter, 1, 1},
                                             Sent{Message::EffectOff, 1}));
    // Off keeps the choice and the values for the next switch-on.
    EXPECT_EQ(panel.Effect(), "Gargle");
    EXPECT_EQ(table.Value(1, 1), 1.0);
    EXPECT_EQ(table.Value(1, 0), 20.7);

    // Other effects' units and steps.
    panel.ChooseEffect("Chorus");
    EXPECT_THAT(shown.texts, ElementsAre("25%", "1.1%"));
    panel.ChooseEffect("Reverb");
    EXPECT_EQ(shown.texts[0], "1s");
    Move(1, 0.5);
    EXPECT_EQ(shown.texts[1], "0s");
    panel.ChooseEffect("Distortion");
    EXPECT_EQ(shown.texts[0], "-18dB");
    EXPECT_TRUE(messages.Take().empty());
    ExpectDeckAUntouched();
}
