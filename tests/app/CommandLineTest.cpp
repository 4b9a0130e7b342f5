#include <gtest/gtest.h>

#include "app/CZelCommandLineInfo.h"
#include "engine/EngineEvents.h"

using app::CZelCommandLineInfo;

TEST(CommandLine, EveryArgumentIsAPathInOrder) {
    CZelCommandLineInfo info;
    info.ParseArguments({"/tmp/one song.mp3", "/x", "-y", "relative/two.wav"});
    ASSERT_TRUE(info.HasFiles());

    bool isLast = false;
    EXPECT_EQ(info.GetNextFile(isLast), "/tmp/one song.mp3") << "an absolute path stays a path";
    EXPECT_FALSE(isLast);
    EXPECT_EQ(info.GetNextFile(isLast), "x") << "a switch is taken as a path without its marker";
    EXPECT_EQ(info.GetNextFile(isLast), "y");
    EXPECT_FALSE(isLast);
    EXPECT_EQ(info.GetNextFile(isLast), "relative/two.wav");
    EXPECT_TRUE(isLast);
}

TEST(CommandLine, NoArgumentsGivesOneEmptyPath) {
    CZelCommandLineInfo info;
    info.ParseArguments({});
    EXPECT_FALSE(info.HasFiles());
    bool isLast = false;
    EXPECT_EQ(info.GetNextFile(isLast), "");
    EXPECT_TRUE(isLast);
}

TEST(EngineEvents, DecksHaveTheirOwnEventsAndThreadDoneEventsStartSignalled) {
    engine::EngineEvents events;
    events.deck[0].discReadForward.Set();
    EXPECT_FALSE(events.deck[1].discReadForward.IsSet()) << "signalling Deck A must not wake Deck B";
    EXPECT_NE(events.deck[0].discReadForward.Name(), events.deck[1].discReadForward.Name());

    for (const auto& deck : events.deck) {
        EXPECT_TRUE(deck.threadFileReadForwardDone.IsSet());
        EXPECT_TRUE(deck.threadCdReadForwardDone.IsSet());
        EXPECT_TRUE(deck.threadPlayForwardDone.IsSet());
        EXPECT_TRUE(deck.threadPlayBackwardDone.IsSet());
        EXPECT_FALSE(deck.deckReadyToPlay.IsSet());
        EXPECT_TRUE(deck.playForwardNotify.IsManualReset());
    }
    EXPECT_FALSE(events.trackLengthLoad.IsManualReset());
}
