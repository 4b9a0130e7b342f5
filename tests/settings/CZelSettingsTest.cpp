#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QSettings>
#include <QTemporaryDir>

#include "settings/CZelSettings.h"

namespace {

constexpr long kSuccess = 0;
constexpr long kAccessDenied = 5;
constexpr long kInvalidParameter = 87;
constexpr long kBadDb = 1009;
constexpr long kInvalidDatatype = 1804;

// Bit patterns of single-precision floats, as the file must hold them.
constexpr uint32_t kBits0_7 = 0x3F333333;   // 1060320051
constexpr uint32_t kBits1_0 = 0x3F800000;   // 1065353216
constexpr uint32_t kBitsMinus1_0 = 0xBF800000;
constexpr uint32_t kBitsMinus0_5 = 0xBF000000;
constexpr uint32_t kBits0_25 = 0x3E800000;

class CZelSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString Path(const QString& name) const { return dir_.filePath(name); }

    void WriteFile(const QString& path, const QByteArray& bytes) const {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    // The raw "name=value" lines of the file's [Settings] section, exactly as written.
    QMap<QString, QString> StoredLines(const QString& path) const {
        QFile file(path);
        QMap<QString, QString> lines;
        if (!file.open(QIODevice::ReadOnly)) return lines;
        bool inSettings = false;
        for (const QByteArray& raw : file.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.startsWith(u'[')) {
                inSettings = line == u"[Settings]";
            } else if (inSettings && line.contains(u'=')) {
                const qsizetype equals = line.indexOf(u'=');
                lines.insert(line.left(equals), line.mid(equals + 1));
            }
        }
        return lines;
    }

    // A fresh copy of the file, so that reading it parses the text on disk
    // rather than the copy Qt keeps in memory for a file it has seen.
    QString CopyOf(const QString& path) {
        const QString copy = Path(QStringLiteral("copy%1.ini").arg(++copies_));
        EXPECT_TRUE(QFile::copy(path, copy));
        return copy;
    }

    QTemporaryDir dir_;
    const QString path_ = Path(QStringLiteral("orvo2.ini"));
    CZelSettings store_{path_};

private:
    int copies_ = 0;
};

TEST_F(CZelSettingsTest, FirstReadsStoreTheDefaults) {
    EXPECT_FALSE(QFile::exists(path_)) << "nothing is written before a setting is read";

    const SettingRead<float> crossFader = store_.CrossFaderCurvePosition();
    const SettingRead<float> levelA = store_.Level(0);
    const SettingRead<float> levelB = store_.Level(1);
    const SettingRead<bool> showTip = store_.ShowTipOfTheDay();
    const SettingRead<int> tipIndex = store_.TipOfTheDayIndex();
    const SettingRead<QString> main = store_.SoundDeviceMain();
    const SettingRead<QString> headphones = store_.SoundDeviceHeadphones();

    for (long error : {crossFader.error, levelA.error, levelB.error, showTip.error, tipIndex.error, main.error,
                       headphones.error}) {
        EXPECT_EQ(error, kSuccess);
    }
    EXPECT_EQ(crossFader.value, 0.0f);
    EXPECT_EQ(levelA.value, 0.7f);
    EXPECT_EQ(levelB.value, 0.7f);
    EXPECT_TRUE(showTip.value);
    EXPECT_EQ(tipIndex.value, 0);
    EXPECT_TRUE(main.value.isEmpty());
    EXPECT_TRUE(headphones.value.isEmpty());

    const QMap<QString, QString> expected{{"crossFaderCurvePosition", "0"},
                                          {"levelDeckA", "1060320051"},
                                          {"levelDeckB", "1060320051"},
                                          {"showTipOfTheDay", "1"},
                                          {"tipOfTheDayIndex", "0"}};
    EXPECT_EQ(StoredLines(path_), expected) << "exactly the defaults, and no sound device values";

    // A stored value is read back, not replaced by the default; removing it
    // brings the default back at the next read.
    ASSERT_EQ(store_.WriteLevel(0, 0.25f), kSuccess);
    EXPECT_EQ(store_.Level(0).value, 0.25f);
    {
        QSettings external(path_, QSettings::IniFormat);
        external.remove(QStringLiteral("Settings/levelDeckA"));
    }
    EXPECT_FALSE(store_.ValueExists(QStringLiteral("levelDeckA")));
    EXPECT_EQ(store_.Level(0).value, 0.7f);
    EXPECT_EQ(StoredLines(path_).value("levelDeckA"), "1060320051");
}

TEST_F(CZelSettingsTest, FloatsAreStoredAsTheirBitPatterns) {
    const struct {
        float value;
        uint32_t bits;
    } cases[] = {{0.7f, kBits0_7}, {1.0f, kBits1_0}, {-1.0f, kBitsMinus1_0}, {-0.5f, kBitsMinus0_5}, {0.0f, 0}};

    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        ASSERT_EQ(store_.WriteCrossFaderCurvePosition(c.value), kSuccess);
        ASSERT_EQ(store_.WriteLevel(1, c.value), kSuccess);
        EXPECT_EQ(StoredLines(path_).value("crossFaderCurvePosition"), QString::number(c.bits));
        EXPECT_EQ(StoredLines(path_).value("levelDeckB"), QString::number(c.bits));
        EXPECT_EQ(store_.ReadDword(QStringLiteral("levelDeckB")).value, c.bits);

        const SettingRead<float> sameProcess = store_.CrossFaderCurvePosition();
        EXPECT_EQ(sameProcess.error, kSuccess);
        EXPECT_EQ(sameProcess.value, c.value);
        const SettingRead<float> fromDisk = CZelSettings(CopyOf(path_)).Level(1);
        EXPECT_EQ(fromDisk.error, kSuccess);
        EXPECT_EQ(fromDisk.value, c.value);
    }
}

TEST_F(CZelSettingsTest, IntsAndBoolsAreStoredAsDwords) {
    ASSERT_EQ(store_.WriteTipOfTheDayIndex(14), kSuccess);
    EXPECT_EQ(StoredLines(path_).value("tipOfTheDayIndex"), "14");
    EXPECT_EQ(store_.TipOfTheDayIndex().value, 14);

    ASSERT_EQ(store_.WriteTipOfTheDayIndex(-2), kSuccess);
    EXPECT_EQ(StoredLines(path_).value("tipOfTheDayIndex"), "4294967294") << "the 32-bit signed value's bits";
    EXPECT_EQ(store_.TipOfTheDayIndex().value, -2);
    EXPECT_EQ(CZelSettings(CopyOf(path_)).TipOfTheDayIndex().value, -2);

    ASSERT_EQ(store_.WriteShowTipOfTheDay(false), kSuccess);
    EXPECT_EQ(StoredLines(path_).value("showTipOfTheDay"), "0");
    EXPECT_FALSE(store_.ShowTipOfTheDay().value);
    ASSERT_EQ(store_.WriteShowTipOfTheDay(true), kSuccess);
    EXPECT_EQ(StoredLines(path_).value("showTipOfTheDay"), "1");
    EXPECT_TRUE(store_.ShowTipOfTheDay().value);

    // Any non-zero DWORD reads as true.
    const QString edited = Path("edited.ini");
    WriteFile(edited, "[Settings]\nshowTipOfTheDay=7\n");
    const SettingRead<bool> nonZero = CZelSettings(edited).ShowTipOfTheDay();
    EXPECT_EQ(nonZero.error, kSuccess);
    EXPECT_TRUE(nonZero.value);
    const QString zero = Path("zero.ini");
    WriteFile(zero, "[Settings]\nshowTipOfTheDay=0\n");
    EXPECT_FALSE(CZelSettings(zero).ShowTipOfTheDay().value);
}

TEST_F(CZelSettingsTest, TextsRoundTripAndAbsentDevicesStayAbsent) {
    EXPECT_EQ(store_.ReadText(QStringLiteral("soundDeviceMain")).error, 2) << "absent, for the generic reader";
    EXPECT_EQ(store_.ReadDword(QStringLiteral("levelDeckA")).error, 2);
    EXPECT_FALSE(QFile::exists(path_)) << "reading absent device texts stores nothing";

    // Texts that the INI format would otherwise take for a list or a typed value.
    const QString main = QStringLiteral("Speakers (USB Audio), 2 channels");
    const QString headphones = QStringLiteral("@Variant Kopfhörer – Büro ");
    ASSERT_EQ(store_.WriteSoundDeviceMain(main), kSuccess);
    ASSERT_EQ(store_.WriteSoundDeviceHeadphones(headphones), kSuccess);
    EXPECT_EQ(store_.SoundDeviceMain().value, main);
    EXPECT_EQ(store_.SoundDeviceHeadphones().value, headphones);

    const CZelSettings fromDisk(CopyOf(path_));
    EXPECT_EQ(fromDisk.SoundDeviceMain().value, main);
    const SettingRead<QString> headphonesFromDisk = fromDisk.SoundDeviceHeadphones();
    EXPECT_EQ(headphonesFromDisk.error, kSuccess);
    EXPECT_EQ(headphonesFromDisk.value, headphones);

    ASSERT_EQ(store_.WriteSoundDeviceMain(QString()), kSuccess);
    EXPECT_TRUE(store_.ValueExists(QStringLiteral("soundDeviceMain")));
    const SettingRead<QString> empty = CZelSettings(CopyOf(path_)).SoundDeviceMain();
    EXPECT_EQ(empty.error, kSuccess);
    EXPECT_TRUE(empty.value.isEmpty());
}

TEST_F(CZelSettingsTest, DeckLevelsAreIndependent) {
    EXPECT_EQ(store_.Level(0).value, 0.7f);
    EXPECT_EQ(store_.Level(1).value, 0.7f);

    ASSERT_EQ(store_.WriteLevel(1, 0.25f), kSuccess);
    EXPECT_EQ(StoredLines(path_).value("levelDeckB"), QString::number(kBits0_25));
    EXPECT_EQ(StoredLines(path_).value("levelDeckA"), "1060320051") << "deck A untouched";
    EXPECT_EQ(store_.Level(0).value, 0.7f);
    EXPECT_EQ(store_.Level(1).value, 0.25f);

    // There is no third deck: reported, nothing stored, the default read.
    const QMap<QString, QString> before = StoredLines(path_);
    EXPECT_EQ(store_.WriteLevel(2, 0.1f), kInvalidParameter);
    EXPECT_EQ(store_.WriteLevel(-1, 0.1f), kInvalidParameter);
    const SettingRead<float> noDeck = store_.Level(2);
    EXPECT_EQ(noDeck.error, kInvalidParameter);
    EXPECT_EQ(noDeck.value, 0.7f);
    EXPECT_EQ(StoredLines(path_), before);
}

TEST_F(CZelSettingsTest, AWriteIsSeenAtOnceByAnotherStore) {
    const CZelSettings other(path_);
    EXPECT_EQ(other.TipOfTheDayIndex().value, 0);

    ASSERT_EQ(store_.WriteTipOfTheDayIndex(5), kSuccess);
    EXPECT_EQ(other.TipOfTheDayIndex().value, 5);
    ASSERT_EQ(other.WriteSoundDeviceMain(QStringLiteral("pulse")), kSuccess);
    EXPECT_EQ(store_.SoundDeviceMain().value, "pulse");
    ASSERT_EQ(other.WriteCrossFaderCurvePosition(-1.0f), kSuccess);
    EXPECT_EQ(store_.CrossFaderCurvePosition().value, -1.0f);
}

TEST_F(CZelSettingsTest, WrongKindsReadAsDefaultsWithInvalidDatatype) {
    WriteFile(path_,
              "[Settings]\n"
              "crossFaderCurvePosition=0.7\n"
              "levelDeckA=abc\n"
              "levelDeckB=4294967296\n"
              "showTipOfTheDay=-1\n"
              "tipOfTheDayIndex=@ByteArray(12)\n"
              "soundDeviceMain=a, b\n"
              "soundDeviceHeadphones=@ByteArray(Speakers)\n"
              "emptyNumber=\n");

    const SettingRead<float> crossFader = store_.CrossFaderCurvePosition();
    EXPECT_EQ(crossFader.error, kInvalidDatatype);
    EXPECT_EQ(crossFader.value, 0.0f);
    const SettingRead<float> levelA = store_.Level(0);
    EXPECT_EQ(levelA.error, kInvalidDatatype);
    EXPECT_EQ(levelA.value, 0.7f);
    const SettingRead<float> levelB = store_.Level(1);
    EXPECT_EQ(levelB.error, kInvalidDatatype) << "out of the 32-bit range";
    EXPECT_EQ(levelB.value, 0.7f);
    const SettingRead<bool> showTip = store_.ShowTipOfTheDay();
    EXPECT_EQ(showTip.error, kInvalidDatatype);
    EXPECT_TRUE(showTip.value);
    const SettingRead<int> tipIndex = store_.TipOfTheDayIndex();
    EXPECT_EQ(tipIndex.error, kInvalidDatatype);
    EXPECT_EQ(tipIndex.value, 0);
    const SettingRead<QString> main = store_.SoundDeviceMain();
    EXPECT_EQ(main.error, kInvalidDatatype) << "a list is not a text";
    EXPECT_TRUE(main.value.isEmpty());
    const SettingRead<QString> headphones = store_.SoundDeviceHeadphones();
    EXPECT_EQ(headphones.error, kInvalidDatatype);
    EXPECT_TRUE(headphones.value.isEmpty());
    EXPECT_EQ(store_.ReadDword(QStringLiteral("emptyNumber")).error, kInvalidDatatype);
    EXPECT_EQ(store_.ReadText(QStringLiteral("emptyNumber")).error, kSuccess);

    // Reading leaves a wrong-kind value in place; writing replaces it.
    EXPECT_EQ(StoredLines(path_).value("levelDeckA"), "abc");
    ASSERT_EQ(store_.WriteLevel(0, 1.0f), kSuccess);
    ASSERT_EQ(store_.WriteSoundDeviceMain(QStringLiteral("a, b")), kSuccess);
    EXPECT_EQ(store_.Level(0).value, 1.0f);
    const SettingRead<QString> replaced = CZelSettings(CopyOf(path_)).SoundDeviceMain();
    EXPECT_EQ(replaced.error, kSuccess);
    EXPECT_EQ(replaced.value, "a, b");
}

TEST_F(CZelSettingsTest, DamagedFilesReadDefaultsAndKeepWhatSurvives) {
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage.append(static_cast<char>((i * 7919 + 13) % 256));
    WriteFile(path_, garbage);

    EXPECT_EQ(store_.CrossFaderCurvePosition().value, 0.0f);
    EXPECT_EQ(store_.Level(0).value, 0.7f);
    EXPECT_EQ(store_.Level(1).value, 0.7f);
    EXPECT_TRUE(store_.ShowTipOfTheDay().value);
    EXPECT_EQ(store_.TipOfTheDayIndex().value, 0);
    EXPECT_TRUE(store_.SoundDeviceMain().value.isEmpty());
    // The defaults were stored over the garbage, readable by a fresh parse.
    const SettingRead<float> levelFromDisk = CZelSettings(CopyOf(path_)).Level(0);
    EXPECT_EQ(levelFromDisk.error, kSuccess);
    EXPECT_EQ(levelFromDisk.value, 0.7f);

    // Malformed lines: a well-formed value before them is kept rather than
    // reset to its default, and the generic reader reports the damage.
    const QByteArray malformedText("[Settings]\nlevelDeckB=1065353216\nthis line has no equals sign\n"
                                   "[Settings\n\x01\x02\xff\xfe\n");
    const QString keeps = Path("keeps.ini");
    WriteFile(keeps, malformedText);
    const CZelSettings damaged(keeps);
    EXPECT_EQ(damaged.Level(1).value, 1.0f);
    EXPECT_EQ(damaged.Level(0).value, 0.7f);

    const QString reports = Path("reports.ini");
    WriteFile(reports, malformedText);
    const SettingRead<uint32_t> first = CZelSettings(reports).ReadDword(QStringLiteral("levelDeckB"));
    EXPECT_EQ(first.error, kBadDb);
    EXPECT_EQ(first.value, 0u);
}

TEST_F(CZelSettingsTest, UnusableLocationsAreReportedNotFatal) {
    // A file where a folder should be: nothing can be created below it.
    const QString notAFolder = Path("plain");
    WriteFile(notAFolder, "not a folder");
    const CZelSettings unwritable(notAFolder + "/orvo2.ini");
    EXPECT_EQ(unwritable.WriteDword(QStringLiteral("levelDeckA"), kBits1_0), kAccessDenied);
    EXPECT_EQ(unwritable.WriteText(QStringLiteral("soundDeviceMain"), QStringLiteral("x")), kAccessDenied);
    EXPECT_FALSE(unwritable.ValueExists(QStringLiteral("levelDeckA")));
    const SettingRead<float> level = unwritable.Level(0);
    EXPECT_EQ(level.error, kAccessDenied) << "the default could not be stored";
    EXPECT_EQ(level.value, 0.7f);
    const SettingRead<bool> showTip = unwritable.ShowTipOfTheDay();
    EXPECT_NE(showTip.error, kSuccess);
    EXPECT_TRUE(showTip.value);

    // A folder where the file should be: it can be neither read nor written.
    const QString folder = Path("folder.ini");
    ASSERT_TRUE(QDir().mkpath(folder));
    const CZelSettings unreadable(folder);
    EXPECT_EQ(unreadable.ReadDword(QStringLiteral("levelDeckA")).error, kAccessDenied);
    EXPECT_EQ(unreadable.ReadText(QStringLiteral("soundDeviceMain")).error, kAccessDenied);
    EXPECT_EQ(unreadable.SoundDeviceMain().error, kAccessDenied);
    const SettingRead<int> tipIndex = unreadable.TipOfTheDayIndex();
    EXPECT_EQ(tipIndex.error, kAccessDenied);
    EXPECT_EQ(tipIndex.value, 0);
}

TEST(CZelSettingsUserFile, IsOrvo2UnderZelMorrow) {
    // Only the location is checked: the user's real file is not touched.
    const QString fileName = CZelSettings().FileName();
    EXPECT_TRUE(fileName.endsWith(QStringLiteral("/Zel Morrow/Orvo 2.ini"))) << fileName.toStdString();
}

}  // namespace
