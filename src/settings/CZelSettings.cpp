#include "settings/CZelSettings.h"

#include <QStandardPaths>

#include <bit>
#include <optional>
#include <utility>

#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"

namespace {

constexpr auto kOrganisation = "Zel Morrow";
constexpr auto kApplication = "Orvo 2";
constexpr auto kGroup = "Settings";

constexpr auto kCrossFaderCurvePositionName = "crossFaderCurvePosition";
constexpr auto kLevelBaseName = "level";
constexpr auto kShowTipOfTheDayName = "showTipOfTheDay";
constexpr auto kTipOfTheDayIndexName = "tipOfTheDayIndex";
constexpr auto kSoundDeviceMainName = "soundDeviceMain";
constexpr auto kSoundDeviceHeadphonesName = "soundDeviceHeadphones";
constexpr auto kOutputLatencyName = "outputLatencyMs";

// "levelDeckA" for deck 0, "levelDeckB" for deck 1; nothing for any other index.
std::optional<QString> DeckValueName(const char* baseName, int deck) {
    if (deck != 0 && deck != 1) return std::nullopt;
    return QString::fromLatin1(baseName) + QLatin1String(deck == 0 ? "DeckA" : "DeckB");
}

// Plain decimal digits only: no sign, no spaces, no fraction, at most 2^32 - 1.
std::optional<uint32_t> ParseDword(const QString& text) {
    constexpr qsizetype kMaxDigits = 10;  // 4294967295
    if (text.isEmpty() || text.size() > kMaxDigits) return std::nullopt;
    uint64_t number = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        number = number * 10 + static_cast<uint64_t>(c.unicode() - u'0');
    }
    if (number > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(number);
}

uint32_t FloatToDword(float value) {
    return std::bit_cast<uint32_t>(value);
}
float DwordToFloat(uint32_t bits) {
    return std::bit_cast<float>(bits);
}
uint32_t IntToDword(int value) {
    return static_cast<uint32_t>(value);
}
int DwordToInt(uint32_t bits) {
    return static_cast<int32_t>(bits);
}

template <class T, class Convert>
SettingRead<T> Converted(const SettingRead<uint32_t>& read, Convert convert) {
    return {convert(read.value), read.error};
}

// A value outside [low, high] reads as the default: a level of 1e30 or a NaN
// curve would break the cross fader. NaN fails both comparisons.
template <class T>
SettingRead<T> InRange(SettingRead<T> read, T low, T high, T defaultValue) {
    if (read.Ok() && !(read.value >= low && read.value <= high))
        return {defaultValue, CZelSettings::kErrorInvalidDatatype};
    return read;
}

// The name in the file: the value's name within the group.
QString InGroup(const QString& name) {
    return QString::fromLatin1(kGroup) + u'/' + name;
}

// Where QSettings keeps an INI file of the user's scope on this system.
QString UserFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' +
           QString::fromLatin1(kOrganisation) + u'/' + QString::fromLatin1(kApplication) +
           QStringLiteral(".ini");
}

}  // namespace

CZelSettings::CZelSettings() : file_(settings::SettingsFile::ForPath(UserFilePath())) {}

CZelSettings::CZelSettings(QString iniFilePath) : file_(settings::SettingsFile::ForPath(iniFilePath)) {}

QString CZelSettings::FileName() const {
    return file_->Path();
}

bool CZelSettings::ValueExists(const QString& name) const {
    return file_->Find(InGroup(name)).value.has_value();
}

SettingRead<uint32_t> CZelSettings::ReadDword(const QString& name) const {
    const SettingRead<QString> text = ReadText(name);
    if (!text.Ok()) return {0, text.error};
    const std::optional<uint32_t> number = ParseDword(text.value);
    if (!number) return {0, kErrorInvalidDatatype};
    return {*number, kErrorSuccess};
}

SettingRead<QString> CZelSettings::ReadText(const QString& name) const {
    const settings::SettingsFile::Lookup found = file_->Find(InGroup(name));
    if (!found.value) return {{}, found.error};
    // Lists ("a, b") and typed values (@ByteArray, @Variant...) are not text.
    std::optional<QString> text = settings::IniDocument::TextOf(*found.value);
    if (!text) return {{}, kErrorInvalidDatatype};
    return {std::move(*text), kErrorSuccess};
}

long CZelSettings::WriteDword(const QString& name, uint32_t value) const {
    return file_->Write(InGroup(name), settings::IniDocument::FromText(QString::number(value)));
}

long CZelSettings::WriteText(const QString& name, const QString& value) const {
    return file_->Write(InGroup(name), settings::IniDocument::FromText(value));
}

void CZelSettings::WriteDwordLater(const QString& name, uint32_t value) const {
    file_->WriteLater(InGroup(name), settings::IniDocument::FromText(QString::number(value)));
}

long CZelSettings::FlushPendingWrites() const {
    return file_->FlushPendingWrites();
}

SettingRead<uint32_t> CZelSettings::ReadDwordOrStoreDefault(const QString& name,
                                                            uint32_t defaultValue) const {
    long storeError = kErrorSuccess;
    if (!ValueExists(name)) storeError = WriteDword(name, defaultValue);
    SettingRead<uint32_t> read = ReadDword(name);
    if (storeError != kErrorSuccess) read.error = storeError;  // report the first failure
    if (!read.Ok()) read.value = defaultValue;
    return read;
}

SettingRead<QString> CZelSettings::ReadTextOrEmpty(const QString& name) const {
    SettingRead<QString> read = ReadText(name);
    if (read.error == kErrorFileNotFound) read.error = kErrorSuccess;
    if (!read.Ok()) read.value.clear();
    return read;
}

SettingRead<float> CZelSettings::CrossFaderCurvePosition() const {
    return InRange(Converted<float>(ReadDwordOrStoreDefault(QString::fromLatin1(kCrossFaderCurvePositionName),
                                                            FloatToDword(kDefaultCrossFaderCurvePosition)),
                                    DwordToFloat),
                   kMinCrossFaderCurvePosition, kMaxCrossFaderCurvePosition, kDefaultCrossFaderCurvePosition);
}

long CZelSettings::WriteCrossFaderCurvePosition(float position) const {
    return WriteDword(QString::fromLatin1(kCrossFaderCurvePositionName), FloatToDword(position));
}

long CZelSettings::WriteCrossFaderCurvePositionLater(float position) const {
    WriteDwordLater(QString::fromLatin1(kCrossFaderCurvePositionName), FloatToDword(position));
    return kErrorSuccess;
}

SettingRead<float> CZelSettings::Level(int deck) const {
    const std::optional<QString> name = DeckValueName(kLevelBaseName, deck);
    if (!name) return {kDefaultLevel, kErrorInvalidParameter};
    const SettingRead<uint32_t> bits = ReadDwordOrStoreDefault(*name, FloatToDword(kDefaultLevel));
    return InRange(Converted<float>(bits, DwordToFloat), kMinLevel, kMaxLevel, kDefaultLevel);
}

long CZelSettings::WriteLevel(int deck, float level) const {
    const std::optional<QString> name = DeckValueName(kLevelBaseName, deck);
    if (!name) return kErrorInvalidParameter;
    return WriteDword(*name, FloatToDword(level));
}

long CZelSettings::WriteLevelLater(int deck, float level) const {
    const std::optional<QString> name = DeckValueName(kLevelBaseName, deck);
    if (!name) return kErrorInvalidParameter;
    WriteDwordLater(*name, FloatToDword(level));
    return kErrorSuccess;
}

SettingRead<bool> CZelSettings::ShowTipOfTheDay() const {
    return Converted<bool>(
        ReadDwordOrStoreDefault(QString::fromLatin1(kShowTipOfTheDayName), kDefaultShowTipOfTheDay ? 1 : 0),
        [](uint32_t bits) { return bits != 0; });
}

long CZelSettings::WriteShowTipOfTheDay(bool show) const {
    return WriteDword(QString::fromLatin1(kShowTipOfTheDayName), show ? 1 : 0);
}

SettingRead<int> CZelSettings::TipOfTheDayIndex() const {
    return InRange(Converted<int>(ReadDwordOrStoreDefault(QString::fromLatin1(kTipOfTheDayIndexName),
                                                          IntToDword(kDefaultTipOfTheDayIndex)),
                                  DwordToInt),
                   0, kTipOfTheDayCount - 1, kDefaultTipOfTheDayIndex);
}

long CZelSettings::WriteTipOfTheDayIndex(int index) const {
    return WriteDword(QString::fromLatin1(kTipOfTheDayIndexName), IntToDword(index));
}

SettingRead<int> CZelSettings::OutputLatencyMs() const {
    return InRange(Converted<int>(ReadDwordOrStoreDefault(QString::fromLatin1(kOutputLatencyName),
                                                          IntToDword(kDefaultOutputLatencyMs)),
                                  DwordToInt),
                   kMinOutputLatencyMs, kMaxOutputLatencyMs, kDefaultOutputLatencyMs);
}

long CZelSettings::WriteOutputLatencyMs(int milliseconds) const {
    return WriteDword(QString::fromLatin1(kOutputLatencyName), IntToDword(milliseconds));
}

SettingRead<QString> CZelSettings::SoundDeviceMain() const {
    return ReadTextOrEmpty(QString::fromLatin1(kSoundDeviceMainName));
}

long CZelSettings::WriteSoundDeviceMain(const QString& description) const {
    return WriteText(QString::fromLatin1(kSoundDeviceMainName), description);
}

SettingRead<QString> CZelSettings::SoundDeviceHeadphones() const {
    return ReadTextOrEmpty(QString::fromLatin1(kSoundDeviceHeadphonesName));
}

long CZelSettings::WriteSoundDeviceHeadphones(const QString& description) const {
    return WriteText(QString::fromLatin1(kSoundDeviceHeadphonesName), description);
}
