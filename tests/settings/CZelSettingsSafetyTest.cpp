#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <bit>
#include <cstring>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "settings/CZelSettings.h"
#include "settings/SettingsScratch.h"

namespace {

using namespace settings_test;
using CZelSettingsSafety = SettingsScratch;

constexpr qint64 kMaxFileBytes = qint64{1} << 20;

// A file the user made read-only (no write permission for anyone).
void MakeReadOnly(const QString& path) {
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
}

TEST_F(CZelSettingsSafety, AFailedWriteNeverHidesTheFilesValues) {
    WriteFile("orvo2.ini",
              "[Settings]\ncrossFaderCurvePosition=1056964608\nlevelDeckA=1048576000\nlevelDeckB=1065353216\n"
              "showTipOfTheDay=0\ntipOfTheDayIndex=6\nsoundDeviceMain=Desk\n");
    MakeReadOnly(path_);
    const QByteArray before = Bytes();
    ASSERT_EQ(store_.Level(0).value, 0.25f);

    EXPECT_EQ(store_.WriteLevel(1, 0.75f), kAccessDenied);
    EXPECT_EQ(store_.WriteSoundDeviceHeadphones(QStringLiteral("Phones")), kAccessDenied);

    // Every other setting still reads as the file has it, through any object of the file.
    const CZelSettings other(path_);
    for (const CZelSettings* settings : std::vector<const CZelSettings*>{&store_, &other}) {
        EXPECT_EQ(Got(settings->CrossFaderCurvePosition()), std::pair(0.5f, kSuccess));
        EXPECT_EQ(Got(settings->Level(0)), std::pair(0.25f, kSuccess));
        EXPECT_EQ(Got(settings->ShowTipOfTheDay()), std::pair(false, kSuccess));
        EXPECT_EQ(Got(settings->TipOfTheDayIndex()), std::pair(6, kSuccess));
        EXPECT_EQ(Got(settings->SoundDeviceMain()), std::pair(QStringLiteral("Desk"), kSuccess));
        // What was written and not saved reads back for the rest of the session.
        EXPECT_EQ(Got(settings->Level(1)), std::pair(0.75f, kSuccess));
        EXPECT_EQ(Got(settings->SoundDeviceHeadphones()), std::pair(QStringLiteral("Phones"), kSuccess));
    }
    EXPECT_EQ(Bytes(), before) << "a read-only file stays as it is";

    // Writable again: the next write saves what could not be saved before.
    ASSERT_EQ(::chmod(QFile::encodeName(path_).constData(), 0644), 0);
    ASSERT_EQ(store_.WriteTipOfTheDayIndex(7), kSuccess);
    const CZelSettings disk = FromDisk();
    EXPECT_EQ(disk.Level(1).value, 0.75f);
    EXPECT_EQ(disk.SoundDeviceHeadphones().value, "Phones");
    EXPECT_EQ(disk.TipOfTheDayIndex().value, 7);
    EXPECT_EQ(disk.Level(0).value, 0.25f);
}

// A settings path that is no regular file: each is made by `make` at `path`.
struct OddPath {
    const char* what;
    std::function<void(const QString& path)> make;
};

void MakeFifo(const QString& path) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
}

void MakeDirectory(const QString& path) {
    ASSERT_TRUE(QDir().mkpath(path));
}

// A bound local socket stays in the file system after its descriptor is closed.
void MakeSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    ASSERT_LT(static_cast<size_t>(name.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

mode_t FileType(const QString& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &status), 0);
    return status.st_mode & S_IFMT;
}

TEST_F(CZelSettingsSafety, APathThatIsNoRegularFileIsNeverOpened) {
    // Unix socket paths are short: keep the scratch names short.
    for (const OddPath& odd :
         {OddPath{"FIFO", MakeFifo}, OddPath{"folder", MakeDirectory}, OddPath{"socket", MakeSocket}}) {
        SCOPED_TRACE(odd.what);
        const QString path = Path(QString::fromLatin1(odd.what));
        odd.make(path);
        const mode_t type = FileType(path);
        const CZelSettings settings(path);

        // A FIFO without a writer would block an open or a read for good.
        EXPECT_EQ(Got(settings.ReadDword(QStringLiteral("levelDeckA"))), std::pair(0u, kBadDb));
        EXPECT_EQ(Got(settings.SoundDeviceMain()), std::pair(QString(), kBadDb));
        EXPECT_EQ(Got(settings.CrossFaderCurvePosition()), std::pair(0.0f, kBadDb));
        EXPECT_EQ(Got(settings.Level(0)), std::pair(0.7f, kBadDb));

        EXPECT_EQ(settings.WriteLevel(1, 0.5f), kBadDb);
        EXPECT_EQ(settings.WriteSoundDeviceMain(QStringLiteral("Desk")), kBadDb);
        EXPECT_EQ(Got(settings.Level(1)), std::pair(0.5f, kSuccess)) << "this session's value";
        EXPECT_EQ(Got(settings.SoundDeviceMain()), std::pair(QStringLiteral("Desk"), kSuccess));

        EXPECT_EQ(FileType(path), type) << "left as it was";
        if (type == S_IFDIR) {
            EXPECT_TRUE(QDir(path).isEmpty());
        }
    }
}

TEST_F(CZelSettingsSafety, AFileOverOneMebibyteIsNeitherParsedNorRewritten) {
    // Valid settings, then a comment that pads the file to its size.
    const QByteArray head("[Settings]\nlevelDeckA=1065353216\nsoundDeviceMain=Desk\n;");
    auto padded = [&](qint64 size) {
        QByteArray bytes = head;
        bytes.append(QByteArray(size - head.size() - 1, 'x')).append('\n');
        return bytes;
    };

    const CZelSettings largest(WriteFile("largest.ini", padded(kMaxFileBytes)));
    EXPECT_EQ(Got(largest.Level(0)), std::pair(1.0f, kSuccess)) << "exactly 1 MiB is still read";

    const QByteArray tooLarge = padded(kMaxFileBytes + 1);
    WriteFile("orvo2.ini", tooLarge);
    EXPECT_EQ(Got(store_.Level(0)), std::pair(0.7f, kBadDb));
    EXPECT_EQ(Got(store_.SoundDeviceMain()), std::pair(QString(), kBadDb));
    EXPECT_EQ(store_.WriteLevel(1, 0.5f), kBadDb);
    EXPECT_EQ(store_.WriteSoundDeviceHeadphones(QStringLiteral("Phones")), kBadDb);
    EXPECT_EQ(Got(store_.Level(1)), std::pair(0.5f, kSuccess));
    EXPECT_EQ(Bytes(), tooLarge) << "same size and content";
}

uint32_t Bits(float value) {
    return std::bit_cast<uint32_t>(value);
}

TEST_F(CZelSettingsSafety, ValuesOutOfTheirRangeReadAsTheirDefaults) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    const QString curve = QStringLiteral("crossFaderCurvePosition");
    const QString levelA = QStringLiteral("levelDeckA");
    const QString levelB = QStringLiteral("levelDeckB");
    const QString tip = QStringLiteral("tipOfTheDayIndex");

    for (const float wrong : {kNaN, -kNaN, kInfinity, -kInfinity, 1e30f, 1.0001f, -1.0001f}) {
        SCOPED_TRACE(wrong);
        ASSERT_EQ(store_.WriteDword(curve, Bits(wrong)), kSuccess);
        EXPECT_EQ(Got(store_.CrossFaderCurvePosition()), std::pair(0.0f, kInvalidDatatype));
    }
    for (const float wrong : {kNaN, kInfinity, -kInfinity, 1e30f, 1.0001f, -0.0001f, -1.0f}) {
        SCOPED_TRACE(wrong);
        ASSERT_EQ(store_.WriteDword(levelB, Bits(wrong)), kSuccess);
        EXPECT_EQ(Got(store_.Level(1)), std::pair(0.7f, kInvalidDatatype));
    }
    for (const uint32_t wrong : {15u, 99u, 0xFFFFFFFFu, 0x80000000u}) {
        SCOPED_TRACE(wrong);
        ASSERT_EQ(store_.WriteDword(tip, wrong), kSuccess);
        EXPECT_EQ(Got(store_.TipOfTheDayIndex()), std::pair(0, kInvalidDatatype));
    }
    // A wrong value read is left in the file: the next write replaces it.
    EXPECT_EQ(store_.ReadDword(tip).value, 0x80000000u);

    // The ends of each range are good values.
    for (const float edge : {-1.0f, 1.0f, -0.0f}) {
        ASSERT_EQ(store_.WriteCrossFaderCurvePosition(edge), kSuccess);
        EXPECT_EQ(Got(store_.CrossFaderCurvePosition()), std::pair(edge, kSuccess));
    }
    for (const float edge : {0.0f, 1.0f, std::numeric_limits<float>::denorm_min()}) {
        ASSERT_EQ(store_.WriteLevel(0, edge), kSuccess);
        EXPECT_EQ(Got(store_.Level(0)), std::pair(edge, kSuccess));
    }
    for (const int edge : {0, 14}) {
        ASSERT_EQ(store_.WriteTipOfTheDayIndex(edge), kSuccess);
        EXPECT_EQ(Got(store_.TipOfTheDayIndex()), std::pair(edge, kSuccess));
    }
    EXPECT_EQ(store_.ReadDword(levelA).value, Bits(std::numeric_limits<float>::denorm_min()));
}

}  // namespace
