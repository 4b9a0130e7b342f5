// The settings file: its INI format as QSettings reads and writes it, the
// values with their defaults and ranges, deferred writes, and files that are
// damaged, unwritable or no regular file.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <bit>
#include <functional>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

#include "settings/CZelSettings.h"

namespace {

// CZelSettings' error codes.
constexpr long kSuccess = 0, kFileNotFound = 2, kAccessDenied = 5, kInvalidParameter = 87, kBadDb = 1009,
               kInvalidDatatype = 1804;

// A read as (value, error), so that one comparison checks both.
template <class T>
std::pair<T, long> Got(const SettingRead<T>& read) {
    return {read.value, read.error};
}

uint32_t Bits(float value) {
    return std::bit_cast<uint32_t>(value);
}

// A scratch folder with a settings file "orvo2.ini" in it, not yet created.
class SettingsScratch : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }

    // Returns the file's path.
    QString WriteFile(const QString& name, const QByteArray& bytes) const {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return file.fileName();
    }

    QByteArray Bytes() const {
        QFile file(path_);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The file's lines as name -> value, exactly as written; a section header
    // such as "[Settings]" maps to "".
    QMap<QString, QString> StoredLines() const {
        QMap<QString, QString> lines;
        for (const QString& line : QString::fromUtf8(Bytes()).split(u'\n', Qt::SkipEmptyParts))
            lines.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
        return lines;
    }
    QString Stored(const char* name) const { return StoredLines().value(QString::fromLatin1(name)); }

    // A fresh copy of the file under another name: reading it shows what the
    // file holds, without this session's values that could not be saved.
    CZelSettings FromDisk() {
        const QString copy = Path(QStringLiteral("copy%1.ini").arg(++copies_));
        EXPECT_TRUE(QFile::copy(path_, copy));
        return CZelSettings(copy);
    }

    QTemporaryDir dir_;
    const QString path_ = Path(QStringLiteral("orvo2.ini"));
    CZelSettings store_{path_};
    int copies_ = 0;
};

using IniFormat = SettingsScratch;
using CZelSettingsTest = SettingsScratch;
using CZelSettingsDeferred = SettingsScratch;
using CZelSettingsSafety = SettingsScratch;

// Each side reads what the other wrote: texts that need quotes, escapes or
// care in the INI format, and values of kinds this store does not use, which
// its writes keep as they are.
TEST_F(IniFormat, QSettingsAndThisStoreReadEachOthersFiles) {
    // The texts, '|' between them; the first is empty.
    QStringList texts = QString::fromUtf8(
                            "|Speakers (USB Audio), 2 channels| leading and trailing |\ttab\t|@@two|a;b=c|"
                            "say \"hi\" \\ back|@Variant(not really)|line one\nline two\r\n|[Settings]|"
                            "; not a comment|Kopfh\xC3\xB6rer \xE2\x80\x93 B\xC3\xBCro \xF0\x9F\x8E\xA7")
                            .split(u'|');
    texts << QString(QChar(0)) + "7f" + QChar(0x1F) + "ab" + QChar(0x7F);
    {
        QSettings qt(path_, QSettings::IniFormat);
        for (int i = 0; i < texts.size(); ++i) qt.setValue(QString("Settings/qt%1").arg(i), texts[i]);
        qt.setValue("topLevel", "kept");
        qt.setValue("Other/list", QStringList{"a, b", "c"});
        qt.setValue("Other/bytes", QByteArray("\x01\xff", 2));
        qt.setValue("Other/odd key/sub", 12);
    }
    for (int i = 0; i < texts.size(); ++i)
        EXPECT_EQ(Got(store_.ReadText(QString("qt%1").arg(i))), std::pair(texts[i], kSuccess)) << i;
    for (int i = 0; i < texts.size(); ++i)
        ASSERT_EQ(store_.WriteText(QString("ours%1").arg(i), texts[i]), kSuccess);
    ASSERT_EQ(store_.WriteLevel(0, 0.5f), kSuccess);

    const QSettings qt(path_, QSettings::IniFormat);
    EXPECT_EQ(qt.status(), QSettings::NoError);
    for (int i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        const QVariant ours = qt.value(QString("Settings/ours%1").arg(i));
        EXPECT_EQ(ours.typeId(), QMetaType::QString);
        EXPECT_EQ(ours.toString(), texts[i]);
        EXPECT_EQ(qt.value(QString("Settings/qt%1").arg(i)).toString(), texts[i]);
    }
    EXPECT_EQ(qt.value("Settings/levelDeckA").toString(), "1056964608");
    EXPECT_EQ(qt.value("topLevel").toString(), "kept");
    EXPECT_EQ(qt.value("Other/list").toStringList(), (QStringList{"a, b", "c"}));
    EXPECT_EQ(qt.value("Other/bytes").toByteArray(), QByteArray("\x01\xff", 2));
    EXPECT_EQ(qt.value("Other/odd key/sub").toInt(), 12);
    EXPECT_EQ(qt.allKeys().size(), 2 * texts.size() + 5);
}

TEST_F(IniFormat, HandWrittenFilesReadAsQSettingsReadsThem) {
    WriteFile("orvo2.ini",
              "\xEF\xBB\xBF; made by hand\r\n"
              "[Settings]\r\n"
              "  soundDeviceMain = \"Desk \" ; the main output\r\n"
              "soundDeviceHeadphones=Pho\\\n"
              "nes\r\n"
              "tipOfTheDayIndex=2\r\n"
              "tipOfTheDayIndex=4\r\n"
              "[Other]\n"
              "levelDeckA=1\n"
              "[Settings]\n"
              "levelDeckB=1065353216\n"
              "showTipOfTheDay=\"0\"\n");
    const QSettings qt(path_, QSettings::IniFormat);
    for (const QString name : {"soundDeviceMain", "soundDeviceHeadphones", "tipOfTheDayIndex", "levelDeckB",
                               "showTipOfTheDay", "levelDeckA"}) {
        EXPECT_EQ(store_.ReadText(name).value, qt.value("Settings/" + name).toString()) << name.toStdString();
        EXPECT_EQ(store_.ValueExists(name), qt.contains("Settings/" + name)) << name.toStdString();
    }
    EXPECT_EQ(store_.SoundDeviceHeadphones().value, "Phones");
    EXPECT_EQ(store_.TipOfTheDayIndex().value, 4) << "the last of two lines";
    EXPECT_FALSE(store_.ValueExists("levelDeckA")) << "another section's value";
}

TEST_F(CZelSettingsTest, FirstReadsStoreExactlyTheDefaults) {
    EXPECT_EQ(store_.ReadText("soundDeviceMain").error, kFileNotFound);
    EXPECT_EQ(store_.ReadDword("levelDeckA").error, kFileNotFound);
    EXPECT_FALSE(QFile::exists(path_)) << "reading absent values stores nothing";
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
    EXPECT_EQ(store_.WriteLevel(2, 0.1f), kInvalidParameter) << "there is no third deck";
}

// Numbers are DWORDs in decimal, floats as their bits, so that a value reads
// back exactly; a write is seen at once through any object of the file.
TEST_F(CZelSettingsTest, ValuesAreStoredAsDwordsAndReadBackExactly) {
    const CZelSettings other(path_);
    for (const auto& [value, bits] : std::vector<std::pair<float, QString>>{
             {0.7f, "1060320051"}, {1.0f, "1065353216"}, {-1.0f, "3212836864"}, {0.0f, "0"}}) {
        SCOPED_TRACE(value);
        ASSERT_EQ(store_.WriteCrossFaderCurvePosition(value), kSuccess);
        EXPECT_EQ(Stored("crossFaderCurvePosition"), bits);
        EXPECT_EQ(Got(other.CrossFaderCurvePosition()), std::pair(value, kSuccess));
        if (value < 0.0f) continue;  // no level is negative
        ASSERT_EQ(store_.WriteLevel(1, value), kSuccess);
        EXPECT_EQ(Stored("levelDeckB"), bits);
        EXPECT_EQ(Got(FromDisk().Level(1)), std::pair(value, kSuccess));
    }
    ASSERT_EQ(other.WriteTipOfTheDayIndex(14), kSuccess);
    EXPECT_EQ(Stored("tipOfTheDayIndex"), "14");
    EXPECT_EQ(Got(store_.TipOfTheDayIndex()), std::pair(14, kSuccess));
    for (const bool show : {false, true}) {
        ASSERT_EQ(store_.WriteShowTipOfTheDay(show), kSuccess);
        EXPECT_EQ(Stored("showTipOfTheDay"), show ? "1" : "0");
        EXPECT_EQ(Got(FromDisk().ShowTipOfTheDay()), std::pair(show, kSuccess));
    }
    const CZelSettings seven(WriteFile("seven.ini", "[Settings]\nshowTipOfTheDay=7\n"));
    EXPECT_EQ(Got(seven.ShowTipOfTheDay()), std::pair(true, kSuccess)) << "any non-zero DWORD is true";
}

TEST_F(CZelSettingsTest, WrongKindsAndValuesOutOfRangeReadAsDefaultsWithInvalidDatatype) {
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
    EXPECT_EQ(store_.ReadDword("emptyNumber").error, kInvalidDatatype);
    EXPECT_EQ(store_.ReadText("emptyNumber").error, kSuccess);

    // Reading leaves a wrong-kind value in place; writing replaces it.
    EXPECT_EQ(Stored("levelDeckA"), "abc");
    ASSERT_EQ(store_.WriteSoundDeviceMain("a, b"), kSuccess);
    EXPECT_EQ(Got(FromDisk().SoundDeviceMain()), std::pair(QString("a, b"), kSuccess));

    // Values out of their range, which could break the mixer, read as their defaults too.
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    for (const float wrong : {kNaN, -kNaN, kInfinity, -kInfinity, 1e30f, 1.0001f, -1.0001f}) {
        ASSERT_EQ(store_.WriteDword("crossFaderCurvePosition", Bits(wrong)), kSuccess);
        EXPECT_EQ(Got(store_.CrossFaderCurvePosition()), std::pair(0.0f, kInvalidDatatype)) << wrong;
    }
    for (const float wrong : {kNaN, kInfinity, -kInfinity, 1e30f, 1.0001f, -0.0001f, -1.0f}) {
        ASSERT_EQ(store_.WriteDword("levelDeckB", Bits(wrong)), kSuccess);
        EXPECT_EQ(Got(store_.Level(1)), std::pair(0.7f, kInvalidDatatype)) << wrong;
    }
    for (const uint32_t wrong : {15u, 99u, 0xFFFFFFFFu, 0x80000000u}) {
        ASSERT_EQ(store_.WriteDword("tipOfTheDayIndex", wrong), kSuccess);
        EXPECT_EQ(Got(store_.TipOfTheDayIndex()), std::pair(0, kInvalidDatatype)) << wrong;
    }
}

TEST_F(CZelSettingsTest, DamagedFilesAndUnusableLocationsReadDefaultsAndAreNotFatal) {
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage.append(static_cast<char>((i * 7919 + 13) % 256));
    WriteFile("orvo2.ini", garbage);
    EXPECT_EQ(store_.Level(0).value, 0.7f);
    EXPECT_TRUE(store_.ShowTipOfTheDay().value);
    EXPECT_TRUE(store_.SoundDeviceMain().value.isEmpty());
    EXPECT_EQ(Got(FromDisk().Level(0)), std::pair(0.7f, kSuccess)) << "the defaults replaced the garbage";

    // Malformed lines are skipped: the well-formed values around them are kept
    // rather than reset to their defaults.
    const CZelSettings keeps(WriteFile("keeps.ini",
                                       "[Settings]\nlevelDeckB=1065353216\nthis line has no equals sign\n"
                                       "[Settings\n\x01\x02\xff\xfe\ntipOfTheDayIndex=3\n"));
    EXPECT_EQ(keeps.Level(1).value, 1.0f);
    EXPECT_EQ(keeps.TipOfTheDayIndex().value, 3) << "after the header that lacks its ']'";
    EXPECT_EQ(keeps.Level(0).value, 0.7f);

    // A file where a folder should be: nothing can be created below it.
    const CZelSettings unwritable(WriteFile("plain", "not a folder") + "/orvo2.ini");
    EXPECT_EQ(unwritable.WriteDword("levelDeckA", 1065353216), kAccessDenied);
    EXPECT_EQ(unwritable.WriteText("soundDeviceMain", "x"), kAccessDenied);
    EXPECT_EQ(Got(unwritable.Level(1)), std::pair(0.7f, kAccessDenied)) << "the default could not be stored";
    // What could not be saved still holds for this session.
    EXPECT_EQ(Got(unwritable.Level(0)), std::pair(1.0f, kSuccess));
    EXPECT_EQ(Got(unwritable.SoundDeviceMain()), std::pair(QString("x"), kSuccess));
    EXPECT_FALSE(QFile::exists(Path("plain/orvo2.ini")));
}

TEST(CZelSettingsUserFile, IsWhereQSettingsKeepsOrvo2UnderZelMorrow) {
    // Only the location is checked: the user's real file is not touched.
    const QString fileName = CZelSettings().FileName();
    EXPECT_TRUE(fileName.endsWith("/Zel Morrow/Orvo 2.ini")) << fileName.toStdString();
    EXPECT_EQ(fileName,
              QSettings(QSettings::IniFormat, QSettings::UserScope, "Zel Morrow", "Orvo 2").fileName())
        << "earlier versions saved through QSettings";
}

// A deferred value reads back at once but leaves the file as it is until it
// is written: every tick of a slide must not rewrite the file.
TEST_F(CZelSettingsDeferred, ASlideWritesWhenReleasedAndReadsBackAtEveryTick) {
    ASSERT_EQ(store_.Level(0).value, 0.7f);  // stores the defaults
    ASSERT_EQ(store_.CrossFaderCurvePosition().value, 0.0f);
    const QByteArray before = Bytes();
    const CZelSettings other(path_);
    for (int tick = 1; tick <= 100; ++tick) {
        const float level = static_cast<float>(tick) / 100.0f,
                    curve = -1.0f + static_cast<float>(tick) / 50.0f;
        ASSERT_EQ(store_.WriteLevelLater(0, level), kSuccess);
        ASSERT_EQ(store_.WriteCrossFaderCurvePositionLater(curve), kSuccess);
        ASSERT_EQ(Got(store_.Level(0)), std::pair(level, kSuccess));
        ASSERT_EQ(Got(other.CrossFaderCurvePosition()), std::pair(curve, kSuccess))
            << "every object of the file";
    }
    EXPECT_EQ(Bytes(), before);

    EXPECT_EQ(other.FlushPendingWrites(), kSuccess);
    EXPECT_EQ(Stored("levelDeckA"), QString::number(Bits(1.0f))) << "the last tick";
    EXPECT_EQ(Stored("crossFaderCurvePosition"), QString::number(Bits(1.0f)));

    // An immediate write replaces a waiting value: the older, deferred one must not win.
    ASSERT_EQ(store_.WriteLevelLater(0, 0.2f), kSuccess);
    ASSERT_EQ(store_.WriteLevel(0, 0.9f), kSuccess);
    EXPECT_EQ(store_.FlushPendingWrites(), kSuccess);
    EXPECT_EQ(FromDisk().Level(0).value, 0.9f);
}

TEST_F(CZelSettingsDeferred, AQuietTimeAfterTheLastTickWrites) {
    ASSERT_EQ(store_.WriteLevel(1, 0.7f), kSuccess);
    const QByteArray before = Bytes();
    for (int tick = 1; tick <= 20; ++tick) store_.WriteLevelLater(1, static_cast<float>(tick) / 40.0f);
    EXPECT_EQ(Bytes(), before);
    // The quiet-time timer runs on this thread's event loop.
    while (Bytes() == before) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(FromDisk().Level(1).value, 0.5f);
}

TEST_F(CZelSettingsDeferred, TheLastObjectOfAFileWritesWhatWaitsWhenItGoes) {
    const QString path = Path("own.ini");
    {
        const CZelSettings last(path);
        CZelSettings(path).WriteLevelLater(1, 0.4f);
        EXPECT_FALSE(QFile::exists(path)) << "another object of the file is still there";
        EXPECT_EQ(last.ReadDword("levelDeckB").value, Bits(0.4f));
    }
    EXPECT_EQ(CZelSettings(path).Level(1).value, 0.4f);
}

TEST_F(CZelSettingsSafety, AFailedWriteNeverHidesTheFilesValues) {
    WriteFile("orvo2.ini",
              "[Settings]\ncrossFaderCurvePosition=1056964608\nlevelDeckA=1048576000\nlevelDeckB=1065353216\n"
              "showTipOfTheDay=0\ntipOfTheDayIndex=6\nsoundDeviceMain=Desk\n");
    ASSERT_EQ(::chmod(QFile::encodeName(path_).constData(), 0444), 0);  // made read-only by the user
    const QByteArray before = Bytes();
    EXPECT_EQ(store_.WriteLevel(1, 0.75f), kAccessDenied);
    EXPECT_EQ(store_.WriteSoundDeviceHeadphones("Phones"), kAccessDenied);
    ASSERT_EQ(store_.WriteLevelLater(0, 0.5f), kSuccess);
    EXPECT_EQ(store_.FlushPendingWrites(), kAccessDenied);

    // Every other setting still reads as the file has it, and what could not
    // be saved reads back for the rest of the session, through any object of the file.
    const CZelSettings other(path_);
    for (const CZelSettings* settings : {&other, &std::as_const(store_)}) {
        EXPECT_EQ(Got(settings->CrossFaderCurvePosition()), std::pair(0.5f, kSuccess));
        EXPECT_EQ(Got(settings->ShowTipOfTheDay()), std::pair(false, kSuccess));
        EXPECT_EQ(Got(settings->TipOfTheDayIndex()), std::pair(6, kSuccess));
        EXPECT_EQ(Got(settings->SoundDeviceMain()), std::pair(QString("Desk"), kSuccess));
        EXPECT_EQ(Got(settings->Level(0)), std::pair(0.5f, kSuccess));
        EXPECT_EQ(Got(settings->Level(1)), std::pair(0.75f, kSuccess));
        EXPECT_EQ(Got(settings->SoundDeviceHeadphones()), std::pair(QString("Phones"), kSuccess));
    }
    EXPECT_EQ(Bytes(), before) << "a read-only file stays as it is";

    // Writable again: the next write saves what could not be saved before.
    ASSERT_EQ(::chmod(QFile::encodeName(path_).constData(), 0644), 0);
    ASSERT_EQ(store_.WriteTipOfTheDayIndex(7), kSuccess);
    const CZelSettings disk = FromDisk();
    EXPECT_EQ(disk.Level(1).value, 0.75f);
    EXPECT_EQ(disk.SoundDeviceHeadphones().value, "Phones");
    EXPECT_EQ(disk.TipOfTheDayIndex().value, 7);
    EXPECT_EQ(disk.CrossFaderCurvePosition().value, 0.5f);
}

// Valid settings, then a comment that pads the file to `size` bytes.
QByteArray Padded(qint64 size) {
    const QByteArray head("[Settings]\nlevelDeckA=1065353216\nsoundDeviceMain=Desk\n;");
    return head + QByteArray(size - head.size() - 1, 'x') + '\n';
}

TEST_F(CZelSettingsSafety, APathThatIsNoRegularFileOfSaneSizeIsNeverOpened) {
    constexpr qint64 kMaxFileBytes = qint64{1} << 20;
    EXPECT_EQ(Got(CZelSettings(WriteFile("largest.ini", Padded(kMaxFileBytes))).Level(0)),
              std::pair(1.0f, kSuccess))
        << "exactly 1 MiB is still read";

    // A FIFO without a writer would block an open or a read for good; a file
    // too large would take long to parse at every read.
    for (const auto& [name, make] : std::vector<std::pair<const char*, std::function<void(const QString&)>>>{
             {"FIFO",
              [](const QString& path) { ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0); }},
             {"folder", [](const QString& path) { ASSERT_TRUE(QDir().mkpath(path)); }},
             {"large.ini", [this](const QString& path) {
                  WriteFile(QFileInfo(path).fileName(), Padded(kMaxFileBytes + 1));
              }}}) {
        SCOPED_TRACE(name);
        const QString path = Path(name);
        make(path);
        const auto state = [&] {
            const QFileInfo info(path);
            return std::tuple(info.isFile(), info.isDir(), info.size(), info.lastModified());
        };
        const auto before = state();
        const CZelSettings settings(path);
        EXPECT_EQ(Got(settings.SoundDeviceMain()), std::pair(QString(), kBadDb));
        EXPECT_EQ(Got(settings.Level(0)), std::pair(0.7f, kBadDb));
        EXPECT_EQ(settings.WriteLevel(1, 0.5f), kBadDb);
        EXPECT_EQ(settings.WriteSoundDeviceMain("Desk"), kBadDb);
        EXPECT_EQ(Got(settings.Level(1)), std::pair(0.5f, kSuccess)) << "this session's value";
        EXPECT_EQ(Got(settings.SoundDeviceMain()), std::pair(QString("Desk"), kSuccess));
        EXPECT_EQ(state(), before) << "left as it was";
    }
}

}  // namespace
