#include <gtest/gtest.h>

#include <QSettings>
#include <QStringList>

#include <vector>

#include "settings/CZelSettings.h"
#include "settings/SettingsScratch.h"

namespace {

using namespace settings_test;
using IniFormat = SettingsScratch;

// Texts that need quotes, escapes or care in the INI format.
std::vector<QString> AwkwardTexts() {
    return {QString(),
            QStringLiteral("Speakers (USB Audio), 2 channels"),
            QStringLiteral(" leading and trailing "),
            QStringLiteral("\ttab\t"),
            QStringLiteral("say \"hi\" \\ back"),
            QStringLiteral("a;b=c"),
            QStringLiteral("@Variant(not really)"),
            QStringLiteral("@@two"),
            QStringLiteral("line one\nline two\r\n"),
            QString::fromUtf8("Kopfh\xC3\xB6rer \xE2\x80\x93 B\xC3\xBCro \xF0\x9F\x8E\xA7"),
            QString(QChar(0)) + QStringLiteral("7f") + QChar(0x1F) + QStringLiteral("ab") + QChar(0x7F),
            QStringLiteral("[Settings]"),
            QStringLiteral("; not a comment")};
}

TEST_F(IniFormat, TextsWrittenByQSettingsReadTheSame) {
    const std::vector<QString> texts = AwkwardTexts();
    {
        QSettings qt(path_, QSettings::IniFormat);
        for (size_t i = 0; i < texts.size(); ++i)
            qt.setValue(QStringLiteral("Settings/text%1").arg(i), texts[i]);
        qt.sync();
        ASSERT_EQ(qt.status(), QSettings::NoError);
    }
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Got(store_.ReadText(QStringLiteral("text%1").arg(i))), std::pair(texts[i], kSuccess));
    }
}

TEST_F(IniFormat, TextsWrittenHereReadTheSameThroughQSettings) {
    const std::vector<QString> texts = AwkwardTexts();
    for (size_t i = 0; i < texts.size(); ++i)
        ASSERT_EQ(store_.WriteText(QStringLiteral("text%1").arg(i), texts[i]), kSuccess);
    const QSettings qt(path_, QSettings::IniFormat);
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        const QVariant value = qt.value(QStringLiteral("Settings/text%1").arg(i));
        EXPECT_EQ(value.typeId(), QMetaType::QString);
        EXPECT_EQ(value.toString(), texts[i]);
    }
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
    for (const char* name : {"soundDeviceMain", "soundDeviceHeadphones", "tipOfTheDayIndex", "levelDeckB",
                             "showTipOfTheDay", "levelDeckA"}) {
        SCOPED_TRACE(name);
        const QString key = QStringLiteral("Settings/") + QString::fromLatin1(name);
        EXPECT_EQ(store_.ReadText(QString::fromLatin1(name)).value, qt.value(key).toString());
        EXPECT_EQ(store_.ValueExists(QString::fromLatin1(name)), qt.contains(key));
    }
    EXPECT_EQ(store_.SoundDeviceMain().value, "Desk ");
    EXPECT_EQ(store_.SoundDeviceHeadphones().value, "Phones");
    EXPECT_EQ(store_.TipOfTheDayIndex().value, 4) << "the last of two lines";
    EXPECT_EQ(store_.Level(1).value, 1.0f) << "a section may come twice";
    EXPECT_FALSE(store_.ShowTipOfTheDay().value);
    EXPECT_FALSE(store_.ValueExists(QStringLiteral("levelDeckA"))) << "another section's value";
}

TEST_F(IniFormat, AWriteKeepsEverythingElseInTheFile) {
    {
        QSettings qt(path_, QSettings::IniFormat);
        qt.setValue(QStringLiteral("topLevel"), QStringLiteral("kept"));
        qt.setValue(QStringLiteral("Other/list"), QStringList{QStringLiteral("a, b"), QStringLiteral("c")});
        qt.setValue(QStringLiteral("Other/bytes"), QByteArray("\x01\xff", 2));
        qt.setValue(QStringLiteral("Other/odd key/sub"), 12);
        qt.setValue(QStringLiteral("Settings/soundDeviceMain"), QStringLiteral("Desk"));
        qt.sync();
    }
    ASSERT_EQ(store_.WriteLevel(0, 0.5f), kSuccess);
    ASSERT_EQ(store_.WriteSoundDeviceMain(QString::fromUtf8("Pult \xE2\x80\x93 links")), kSuccess);

    const QSettings qt(path_, QSettings::IniFormat);
    EXPECT_EQ(qt.status(), QSettings::NoError);
    EXPECT_EQ(qt.value(QStringLiteral("topLevel")).toString(), "kept");
    EXPECT_EQ(qt.value(QStringLiteral("Other/list")).toStringList(), (QStringList{"a, b", "c"}));
    EXPECT_EQ(qt.value(QStringLiteral("Other/bytes")).toByteArray(), QByteArray("\x01\xff", 2));
    EXPECT_EQ(qt.value(QStringLiteral("Other/odd key/sub")).toInt(), 12);
    EXPECT_EQ(qt.value(QStringLiteral("Settings/levelDeckA")).toString(), "1056964608");
    EXPECT_EQ(qt.value(QStringLiteral("Settings/soundDeviceMain")).toString(),
              QString::fromUtf8("Pult \xE2\x80\x93 links"));
    EXPECT_EQ(qt.allKeys().size(), 6);
}

}  // namespace
