#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace settings {
class SettingsFile;
}

// The outcome of reading a setting. On any failure `value` holds the setting's
// default, so a caller that has nothing better to do can use it as it is.
template <class T>
struct SettingRead {
    T value{};
    long error = 0;  // a CZelSettings::kError... code

    bool Ok() const { return error == 0; }
};

// The persistent user preferences: one INI file in QSettings' format, group
// "Settings", one named value per setting. Every CZelSettings of the same file
// shares one settings::SettingsFile: a read looks at the file as it is now,
// and a value written through one object is seen at once through any other,
// even when it could not be saved (it then lasts for the session). A settings
// path that is not a regular file of sane size is never opened.
//
// User-interface thread only.
class CZelSettings {
public:
    // Failures are reported with the Windows error numbers the rest of the
    // program already knows.
    static constexpr long kErrorSuccess = 0;
    static constexpr long kErrorFileNotFound = 2;        // the value is absent
    static constexpr long kErrorAccessDenied = 5;        // the file cannot be read or written
    static constexpr long kErrorInvalidParameter = 87;   // e.g. a deck index other than 0 or 1
    static constexpr long kErrorBadDb = 1009;            // not a regular file of sane size
    static constexpr long kErrorInvalidDatatype = 1804;  // not of the expected kind, or out of its range

    static constexpr float kDefaultCrossFaderCurvePosition = 0.0f;
    static constexpr float kDefaultLevel = 0.7f;
    static constexpr bool kDefaultShowTipOfTheDay = true;
    static constexpr int kDefaultTipOfTheDayIndex = 0;

    // What the readers accept; anything else, NaN and the infinities
    // included, reads as the default.
    static constexpr float kMinCrossFaderCurvePosition = -1.0f;
    static constexpr float kMaxCrossFaderCurvePosition = 1.0f;
    static constexpr float kMinLevel = 0.0f;
    static constexpr float kMaxLevel = 1.0f;
    static constexpr int kTipOfTheDayCount = 15;
    // The sound output's latency, in milliseconds.
    static constexpr int kDefaultOutputLatencyMs = 20;
    static constexpr int kMinOutputLatencyMs = 5;
    static constexpr int kMaxOutputLatencyMs = 100;

    // The user's own file: "Zel Morrow/Orvo 2.ini" in the user's config folder.
    CZelSettings();
    // Another INI file, e.g. a scratch file.
    explicit CZelSettings(QString iniFilePath);

    QString FileName() const;

    // Generic operations on one named value.
    bool ValueExists(const QString& name) const;
    // A DWORD: an unsigned 32-bit integer stored as its decimal text.
    SettingRead<uint32_t> ReadDword(const QString& name) const;
    SettingRead<QString> ReadText(const QString& name) const;
    // Writers replace any existing value whatever its kind; they return the
    // error code. A value that could not be saved still reads back.
    long WriteDword(const QString& name, uint32_t value) const;
    long WriteText(const QString& name, const QString& value) const;

    // The settings. A reader stores the default when the value is absent (the
    // sound device texts excepted: absent, they read as empty and store nothing),
    // and gives the default with kErrorInvalidDatatype for a value out of its
    // range, which it leaves for the next write to replace.
    // Deck 0 is deck A, deck 1 deck B.
    SettingRead<float> CrossFaderCurvePosition() const;
    long WriteCrossFaderCurvePosition(float position) const;
    SettingRead<float> Level(int deck) const;
    long WriteLevel(int deck, float level) const;
    SettingRead<bool> ShowTipOfTheDay() const;
    long WriteShowTipOfTheDay(bool show) const;
    SettingRead<int> TipOfTheDayIndex() const;
    long WriteTipOfTheDayIndex(int index) const;
    SettingRead<QString> SoundDeviceMain() const;
    long WriteSoundDeviceMain(const QString& description) const;
    SettingRead<QString> SoundDeviceHeadphones() const;
    long WriteSoundDeviceHeadphones(const QString& description) const;
    // Chosen in the sound device window with the devices.
    SettingRead<int> OutputLatencyMs() const;
    long WriteOutputLatencyMs(int milliseconds) const;

    // Deferred writes, for values that change at every tick of a slide: the
    // value reads back at once and is written once it has stopped changing
    // for a short quiet time (a timer on this thread), at FlushPendingWrites()
    // (e.g. when the slide is released), or when the last CZelSettings of the
    // file goes. A later immediate write of the same value replaces it.
    long WriteLevelLater(int deck, float level) const;
    long WriteCrossFaderCurvePositionLater(float position) const;
    // Writes every deferred value of this file now, in one write; returns the error code.
    long FlushPendingWrites() const;

private:
    // Stores `defaultValue` first when the value is absent, then reads it.
    SettingRead<uint32_t> ReadDwordOrStoreDefault(const QString& name, uint32_t defaultValue) const;
    // Absent reads as the empty text, and nothing is stored.
    SettingRead<QString> ReadTextOrEmpty(const QString& name) const;
    void WriteDwordLater(const QString& name, uint32_t value) const;

    std::shared_ptr<settings::SettingsFile> file_;
};
