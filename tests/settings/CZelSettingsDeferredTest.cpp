#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cerrno>

#include "settings/CZelSettings.h"
#include "settings/SettingsScratch.h"

namespace {

using namespace settings_test;
using CZelSettingsDeferred = SettingsScratch;

QString Bits(float value) {
    return QString::number(std::bit_cast<uint32_t>(value));
}

// Counts how often an existing file in a folder is written, from the kernel's
// change notices: a save either renames a new copy onto the file or rewrites
// it in place. The notices of a write are queued before the write returns.
class WriteCounter {
public:
    WriteCounter(const QString& folder, const QString& fileName)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), fileName_(QFile::encodeName(fileName)) {
        EXPECT_GE(fd_, 0);
        EXPECT_GE(inotify_add_watch(fd_, QFile::encodeName(folder).constData(), IN_MOVED_TO | IN_CLOSE_WRITE),
                  0);
    }
    WriteCounter(const WriteCounter&) = delete;
    WriteCounter& operator=(const WriteCounter&) = delete;
    ~WriteCounter() { ::close(fd_); }

    // The writes so far.
    int Writes() {
        alignas(inotify_event) std::array<char, 4096> buffer{};
        for (;;) {
            const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
            if (n <= 0) {
                EXPECT_TRUE(n < 0 && errno == EAGAIN);
                return writes_;
            }
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
                if (event->len > 0 && fileName_ == event->name) ++writes_;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    int fd_;
    QByteArray fileName_;
    int writes_ = 0;
};

TEST_F(CZelSettingsDeferred, ASlideWritesOnceWhenReleasedAndReadsBackAtEveryTick) {
    ASSERT_EQ(store_.Level(0).value, 0.7f);  // stores the defaults
    ASSERT_EQ(store_.CrossFaderCurvePosition().value, 0.0f);
    const QByteArray before = Bytes();
    WriteCounter counter(dir_.path(), QStringLiteral("orvo2.ini"));
    const CZelSettings other(path_);

    for (int tick = 1; tick <= 100; ++tick) {
        const float level = static_cast<float>(tick) / 100.0f;
        const float curve = -1.0f + static_cast<float>(tick) / 50.0f;
        ASSERT_EQ(store_.WriteLevelLater(0, level), kSuccess);
        ASSERT_EQ(store_.WriteCrossFaderCurvePositionLater(curve), kSuccess);
        ASSERT_EQ(Got(store_.Level(0)), std::pair(level, kSuccess));
        ASSERT_EQ(Got(other.CrossFaderCurvePosition()), std::pair(curve, kSuccess))
            << "every object of the file";
    }
    EXPECT_EQ(store_.WriteLevelLater(2, 0.5f), kInvalidParameter);
    EXPECT_EQ(counter.Writes(), 0);
    EXPECT_EQ(Bytes(), before);

    EXPECT_EQ(other.FlushPendingWrites(), kSuccess);
    EXPECT_EQ(counter.Writes(), 1) << "both values in one write";
    EXPECT_EQ(Stored("levelDeckA"), Bits(1.0f)) << "the last tick";
    EXPECT_EQ(Stored("crossFaderCurvePosition"), Bits(1.0f));
    EXPECT_EQ(FromDisk().Level(0).value, 1.0f);

    EXPECT_EQ(store_.FlushPendingWrites(), kSuccess);
    EXPECT_EQ(counter.Writes(), 1) << "nothing was left to write";
}

TEST_F(CZelSettingsDeferred, AQuietTimeAfterTheLastTickWritesOnce) {
    ASSERT_EQ(store_.WriteLevel(1, 0.7f), kSuccess);
    WriteCounter counter(dir_.path(), QStringLiteral("orvo2.ini"));
    for (int tick = 1; tick <= 20; ++tick) store_.WriteLevelLater(1, static_cast<float>(tick) / 40.0f);
    EXPECT_EQ(counter.Writes(), 0);

    // The quiet-time timer runs on this thread's event loop.
    while (counter.Writes() == 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(Stored("levelDeckB"), Bits(0.5f));
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.Writes(), 1);
    EXPECT_EQ(store_.FlushPendingWrites(), kSuccess);
    EXPECT_EQ(counter.Writes(), 1);
}

TEST_F(CZelSettingsDeferred, TheLastObjectOfAFileWritesWhatWaitsWhenItGoes) {
    const QString path = WriteFile(QStringLiteral("own.ini"), "[Settings]\n");
    WriteCounter counter(dir_.path(), QStringLiteral("own.ini"));
    {
        const CZelSettings last(path);
        {
            const CZelSettings first(path);
            ASSERT_EQ(first.WriteLevelLater(1, 0.4f), kSuccess);
        }
        EXPECT_EQ(counter.Writes(), 0) << "another object of the file is still there";
        EXPECT_EQ(last.ReadDword(QStringLiteral("levelDeckB")).value, std::bit_cast<uint32_t>(0.4f));
    }
    EXPECT_EQ(counter.Writes(), 1);
    EXPECT_EQ(CZelSettings(path).Level(1).value, 0.4f);
}

TEST_F(CZelSettingsDeferred, AnImmediateWriteReplacesAWaitingValue) {
    ASSERT_EQ(store_.WriteLevelLater(0, 0.2f), kSuccess);
    ASSERT_EQ(store_.WriteLevel(0, 0.9f), kSuccess);
    EXPECT_EQ(store_.FlushPendingWrites(), kSuccess);
    EXPECT_EQ(Stored("levelDeckA"), Bits(0.9f)) << "the older, deferred value must not win";
    EXPECT_EQ(store_.Level(0).value, 0.9f);
}

TEST_F(CZelSettingsDeferred, ADeferredWriteThatCannotBeSavedStillReadsBack) {
    WriteFile("orvo2.ini", "[Settings]\nlevelDeckA=1048576000\n");
    ASSERT_EQ(::chmod(QFile::encodeName(path_).constData(), 0444), 0);
    ASSERT_EQ(store_.WriteLevelLater(0, 0.5f), kSuccess);
    EXPECT_EQ(store_.FlushPendingWrites(), kAccessDenied);
    EXPECT_EQ(Got(store_.Level(0)), std::pair(0.5f, kSuccess));
    EXPECT_EQ(Bytes(), QByteArray("[Settings]\nlevelDeckA=1048576000\n"));
}

}  // namespace
