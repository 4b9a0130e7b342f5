#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <utility>

#include "settings/CZelSettings.h"

namespace settings_test {

constexpr long kSuccess = 0;
constexpr long kFileNotFound = 2;
constexpr long kAccessDenied = 5;
constexpr long kInvalidParameter = 87;
constexpr long kBadDb = 1009;
constexpr long kInvalidDatatype = 1804;

// A read as (value, error), so that one comparison checks both.
template <class T>
std::pair<T, long> Got(const SettingRead<T>& read) {
    return {read.value, read.error};
}

// A scratch folder with a settings file "orvo2.ini" in it, not yet created.
class SettingsScratch : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

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

}  // namespace settings_test
