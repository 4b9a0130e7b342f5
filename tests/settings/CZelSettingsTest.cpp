#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>

#include <utility>
#include <vector>

#include "settings/CZelSettings.h"
#include "settings/SettingsScratch.h"

namespace {

using namespace settings_test;
using CZelSettingsTest = SettingsScratch;

TEST_F(CZelSettingsTest, FirstReadsStoreExactlyTheDefaults) {
    EXPECT_FALSE(QFile::exists(path_)) << "nothing is written before a setting is read";
    EXPECT_EQ(Got(store_.CrossFaderCurvePosition()), std::pair(0.0f, kSuccess));
    EXPECT_EQ(Got(store_.Level(0)), std::pair(0.7f, kSuccess));
    EXPECT_EQ(Got(store_.Level(1)), std::pair(0.7f, kSuccess));
    EXPECT_EQ(Got(store_.ShowTipOfTheDay()), std::pair(true, kSuccess));
    EXPECT_EQ(Got(store_.TipOfTheDayIndex()), std::pair(0, kSuccess));
    EXPECT_EQ(Got(store_.SoundDeviceMain()), std::pair(QString(), kSuccess));
    EXPECT_EQ(Got(store_.SoundDeviceHeadphones()), std::pair(QString(), kSuccess));
    const QMap<QString, QString> expected{{"[Settings]", ""},           {"crossFaderCurvePosition", "0"},
                                          {"levelDeckA", "1060320051"}, {"levelDeckB", "1060320051"},
                                          {"showTipOfTheDay", "1"},     {"tipOfTheDayIndex", "0"}};
    EXPECT_EQ(StoredLines(), expected) << "exactly the defaults, and no sound device values";
}

TEST_F(CZelSettingsTest, FloatsAreStoredAsTheirBitPatterns) {
    for (const auto& [value, bits] : std::vector<std::pair<float, QString>>{
             {0.7f, "1060320051"}, {1.0f, "1065353216"}, {-1.0f, "3212836864"}, {0.0f, "0"}}) {
        SCOPED_TRACE(value);
        ASSERT_EQ(store_.WriteCrossFaderCurvePosition(value), kSuccess);
        EXPECT_EQ(Stored("crossFaderCurvePosition"), bits);
        EXPECT_EQ(Got(store_.CrossFaderCurvePosition()), std::pair(value, kSuccess));
        if (value < 0.0f) continue;  // no level is negative
        ASSERT_EQ(store_.WriteLevel(1, value), kSuccess);
        EXPECT_EQ(Stored("levelDeckB"), bits);
        EXPECT_EQ(Got(FromDisk().Level(1)), std::pair(value, kSuccess));
    }
}

TEST_F(CZelSettingsTest, IntsAndBoolsAreStoredAsDwords) {
    ASSERT_EQ(store_.WriteTipOfTheDayIndex(14), kSuccess);
    EXPECT_EQ(Stored("tipOfTheDayIndex"), "14");
    EXPECT_EQ(Got(FromDisk().TipOfTheDayIndex()), std::pair(14, kSuccess));
    ASSERT_EQ(store_.WriteTipOfTheDayIndex(-2), kSuccess);
    EXPECT_EQ(Stored("tipOfTheDayIndex"), "4294967294") << "the 32-bit signed value's bits";
    for (const bool show : {false, true}) {
        ASSERT_EQ(store_.WriteShowTipOfTheDay(show), kSuccess);
        EXPECT_EQ(Stored("showTipOfTheDay"), show ? "1" : "0");
        EXPECT_EQ(Got(FromDisk().ShowTipOfTheDay()), std::pair(show, kSuccess));
    }
    const CZelSettings seven(WriteFile("seven.ini", "[Settings]\nshowTipOfTheDay=7\n"));
    EXPECT_EQ(Got(seven.ShowTipOfTheDay()), std::pair(true, kSuccess)) << "any non-zero DWORD is true";
}

TEST_F(CZelSettingsTest, TextsRoundTripAndAbsentDevicesStayAbsent) {
    EXPECT_EQ(store_.ReadText(QStringLiteral("soundDeviceMain")).error, kFileNotFound);
    EXPECT_EQ(store_.ReadDword(QStringLiteral("levelDeckA")).error, kFileNotFound);
    EXPECT_FALSE(QFile::exists(path_)) << "reading absent values stores nothing";

    // Texts that the INI format would otherwise take for a list or a typed value.
    const QString main = QStringLiteral("Speakers (USB Audio), 2 channels");
    const QString headphones = QStringLiteral("@Variant Kopfhörer – Büro ");
    ASSERT_EQ(store_.WriteSoundDeviceMain(main), kSuccess);
    ASSERT_EQ(store_.WriteSoundDeviceHeadphones(headphones), kSuccess);
    EXPECT_EQ(store_.SoundDeviceMain().value, main);
    const CZelSettings fromDisk = FromDisk();
    EXPECT_EQ(Got(fromDisk.SoundDeviceMain()), std::pair(main, kSuccess));
    EXPECT_EQ(Got(fromDisk.SoundDeviceHeadphones()), std::pair(headphones, kSuccess));

    ASSERT_EQ(store_.WriteSoundDeviceMain(QString()), kSuccess);
    EXPECT_TRUE(store_.ValueExists(QStringLiteral("soundDeviceMain")));
    EXPECT_EQ(Got(FromDisk().SoundDeviceMain()), std::pair(QString(), kSuccess));
}

TEST_F(CZelSettingsTest, ThereIsNoThirdDeck) {
    // Reported, nothing stored, the default read. (That one deck's level
    // leaves the other's alone is seen in the cross fader and safety tests.)
    ASSERT_EQ(store_.Level(0).value, 0.7f);
    const QMap<QString, QString> before = StoredLines();
    EXPECT_EQ(store_.WriteLevel(2, 0.1f), kInvalidParameter);
    EXPECT_EQ(store_.WriteLevel(-1, 0.1f), kInvalidParameter);
    EXPECT_EQ(Got(store_.Level(2)), std::pair(0.7f, kInvalidParameter));
    EXPECT_EQ(StoredLines(), before);
}

TEST_F(CZelSettingsTest, AWriteIsSeenAtOnceByAnotherStore) {
    const CZelSettings other(path_);
    EXPECT_EQ(other.TipOfTheDayIndex().value, 0);
    ASSERT_EQ(store_.WriteTipOfTheDayIndex(5), kSuccess);
    EXPECT_EQ(other.TipOfTheDayIndex().value, 5);
    ASSERT_EQ(other.WriteSoundDeviceMain(QStringLiteral("pulse")), kSuccess);
    EXPECT_EQ(store_.SoundDeviceMain().value, "pulse");
}

TEST_F(CZelSettingsTest, WrongKindsReadAsDefaultsWithInvalidDatatype) {
    WriteFile("orvo2.ini",
              "[Settings]\ncrossFaderCurvePosition=0.7\nlevelDeckA=abc\nlevelDeckB=4294967296\n"
              "showTipOfTheDay=-1\ntipOfTheDayIndex=@ByteArray(12)\nsoundDeviceMain=a, b\n"
              "soundDeviceHeadphones=@ByteArray(Speakers)\nemptyNumber=\n");
    EXPECT_EQ(Got(store_.CrossFaderCurvePosition()), std::pair(0.0f, kInvalidDatatype));
    EXPECT_EQ(Got(store_.Level(0)), std::pair(0.7f, kInvalidDatatype));
    EXPECT_EQ(Got(store_.Level(1)), std::pair(0.7f, kInvalidDatatype)) << "out of the 32-bit range";
    EXPECT_EQ(Got(store_.ShowTipOfTheDay()), std::pair(true, kInvalidDatatype));
    EXPECT_EQ(Got(store_.TipOfTheDayIndex()), std::pair(0, kInvalidDatatype));
    EXPECT_EQ(Got(store_.SoundDeviceMain()), std::pair(QString(), kInvalidDatatype)) << "a list isn't text";
    EXPECT_EQ(Got(store_.SoundDeviceHeadphones()), std::pair(QString(), kInvalidDatatype));
    EXPECT_EQ(store_.ReadDword(QStringLiteral("emptyNumber")).error, kInvalidDatatype);
    EXPECT_EQ(store_.ReadText(QStringLiteral("emptyNumber")).error, kSuccess);

    // Reading leaves a wrong-kind value in place; writing replaces it.
    EXPECT_EQ(Stored("levelDeckA"), "abc");
    ASSERT_EQ(store_.WriteSoundDeviceMain(QStringLiteral("a, b")), kSuccess);
    EXPECT_EQ(Got(FromDisk().SoundDeviceMain()), std::pair(QStringLiteral("a, b"), kSuccess));
}

TEST_F(CZelSettingsTest, DamagedFilesReadDefaultsAndKeepWhatSurvives) {
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage.append(static_cast<char>((i * 7919 + 13) % 256));
    WriteFile("orvo2.ini", garbage);
    EXPECT_EQ(store_.Level(0).value, 0.7f);
    EXPECT_TRUE(store_.ShowTipOfTheDay().value);
    EXPECT_TRUE(store_.SoundDeviceMain().value.isEmpty());
    EXPECT_EQ(Got(FromDisk().Level(0)), std::pair(0.7f, kSuccess)) << "the defaults replaced the garbage";

    // Malformed lines are skipped: the well-formed values around them are kept
    // rather than reset to their defaults.
    const QByteArray malformed(
        "[Settings]\nlevelDeckB=1065353216\nthis line has no equals sign\n[Settings\n\x01\x02\xff\xfe\n"
        "tipOfTheDayIndex=3\n");
    const CZelSettings keeps(WriteFile("keeps.ini", malformed));
    EXPECT_EQ(Got(keeps.ReadDword(QStringLiteral("levelDeckB"))), std::pair(1065353216u, kSuccess));
    EXPECT_EQ(keeps.Level(1).value, 1.0f);
    EXPECT_EQ(keeps.TipOfTheDayIndex().value, 3) << "after the header that lacks its ']'";
    EXPECT_EQ(keeps.Level(0).value, 0.7f);
}

TEST_F(CZelSettingsTest, UnusableLocationsAreReportedNotFatal) {
    // A file where a folder should be: nothing can be created below it.
    const CZelSettings unwritable(WriteFile("plain", "not a folder") + "/orvo2.ini");
    EXPECT_EQ(unwritable.WriteDword(QStringLiteral("levelDeckA"), 1065353216), kAccessDenied);
    EXPECT_EQ(unwritable.WriteText(QStringLiteral("soundDeviceMain"), QStringLiteral("x")), kAccessDenied);
    EXPECT_EQ(Got(unwritable.Level(1)), std::pair(0.7f, kAccessDenied)) << "the default could not be stored";
    // What could not be saved still holds for this session.
    EXPECT_EQ(Got(unwritable.Level(0)), std::pair(1.0f, kSuccess));
    EXPECT_EQ(Got(unwritable.SoundDeviceMain()), std::pair(QStringLiteral("x"), kSuccess));
    EXPECT_FALSE(QFile::exists(Path("plain/orvo2.ini")));
}

TEST(CZelSettingsUserFile, IsWhereQSettingsKeepsOrvo2UnderZelMorrow) {
    // Only the location is checked: the user's real file is not touched.
    const QString fileName = CZelSettings().FileName();
    EXPECT_TRUE(fileName.endsWith(QStringLiteral("/Zel Morrow/Orvo 2.ini"))) << fileName.toStdString();
    const QSettings qt(QSettings::IniFormat, QSettings::UserScope, "Zel Morrow", "Orvo 2");
    EXPECT_EQ(fileName, qt.fileName()) << "earlier versions saved through QSettings";
}

}  // namespace
