#include "playlist/ListFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <cmath>

#include "playlist/ListText.h"

namespace playlist {

namespace {

constexpr int kTagBytes = 128;
constexpr int kTagTitleBytes = 30;

QStringList Lines(const QString& text) {
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines)
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    return lines;
}

// The integer a text starts with: an optional sign and the digits that
// follow; 0 when there are none, and limited to what a length can be.
double LeadingInteger(QStringView text) {
    text = text.trimmed();
    int at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == QLatin1Char('-') || text[at] == QLatin1Char('+')))
        negative = text[at++] == QLatin1Char('-');
    double value = 0.0;
    for (; at < text.size() && text[at].isDigit() && text[at].unicode() < 128; ++at)
        value = std::min(value * 10.0 + (text[at].unicode() - '0'), 1e9);
    return negative ? -value : value;
}

// "Key<anything>=value": the value when the line starts with the key and at
// least one character stands between the key and the first "=" after it.
std::optional<QString> KeyedValue(const QString& line, QLatin1StringView key) {
    if (!line.startsWith(key)) return std::nullopt;
    const qsizetype equals = line.indexOf(QLatin1Char('='), key.size());
    if (equals <= key.size()) return std::nullopt;
    return line.mid(equals + 1);
}

QString LengthText(double length) {
    return QString::number(static_cast<long long>(std::trunc(std::isfinite(length) ? length : -1.0)));
}

}  // namespace

ListFormat FormatOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("m3u")) return ListFormat::M3u;
    if (suffix == QLatin1String("m3u8")) return ListFormat::M3u8;
    if (suffix == QLatin1String("pls")) return ListFormat::Pls;
    if (suffix == QLatin1String("orv") || suffix == QLatin1String("cue")) return ListFormat::Unread;
    return ListFormat::None;
}

QString ResolveListPath(const QString& line, const QString& folder) {
    QString path = line.trimmed();
    if (path.isEmpty()) return {};
    if (path.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(path);
        if (url.isLocalFile()) path = url.toLocalFile();
    }
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // Only a path from the root is absolute: Qt would also take ":/..." (its
    // resources) as one, which names no file on disk.
    if (!path.startsWith(QLatin1Char('/'))) path = folder + QLatin1Char('/') + path;
    return QDir::cleanPath(path);
}

std::vector<ListItem> ReadM3u(const QString& text, const QString& folder) {
    const QStringList lines = Lines(text);
    std::vector<ListItem> items;
    qsizetype at = 0;
    if (!lines.isEmpty() && lines[0].startsWith(QLatin1String("#EXTM3U"))) ++at;
    while (at < lines.size()) {
        ListItem item;
        QString line = lines[at++];
        if (line.startsWith(QLatin1String("#EXTINF:"))) {
            const qsizetype comma = line.indexOf(QLatin1Char(','), 8);
            if (comma > 8) {
                item.length = LeadingInteger(QStringView(line).mid(8, comma - 8));
                item.title = line.mid(comma + 1);
            }
            // Whatever it holds, the line after it names the track.
            if (at >= lines.size()) break;
            line = lines[at++];
        }
        if (line.trimmed().startsWith(QLatin1Char('#'))) continue;  // another directive
        item.path = ResolveListPath(line, folder);
        if (!item.path.isEmpty()) items.push_back(std::move(item));
    }
    return items;
}

std::optional<std::vector<ListItem>> ReadPls(const QString& text, const QString& folder) {
    const QStringList lines = Lines(text);
    if (lines.isEmpty() || !lines[0].trimmed().startsWith(QLatin1String("[playlist]"), Qt::CaseInsensitive))
        return std::nullopt;
    std::vector<ListItem> items;
    for (qsizetype at = 1; at < lines.size();) {
        const std::optional<QString> file = KeyedValue(lines[at++], QLatin1StringView("File"));
        if (!file) continue;
        ListItem item;
        item.path = ResolveListPath(*file, folder);
        // The two lines after a File line are its Title and Length, or nothing.
        if (at < lines.size())
            if (const auto title = KeyedValue(lines[at++], QLatin1StringView("Title"))) item.title = *title;
        if (at < lines.size())
            if (const auto length = KeyedValue(lines[at++], QLatin1StringView("Length")))
                item.length = LeadingInteger(*length);
        if (!item.path.isEmpty()) items.push_back(std::move(item));
    }
    return items;
}

QByteArray WriteM3u(const std::vector<SavedItem>& items) {
    QString text = QStringLiteral("#EXTM3U\r\n");
    for (const SavedItem& item : items)
        text += QStringLiteral("#EXTINF:%1,%2\r\n%3\r\n").arg(LengthText(item.length), item.title, item.path);
    return text.toUtf8();
}

QByteArray WritePls(const std::vector<SavedItem>& items) {
    QString text = QStringLiteral("[playlist]\r\n");
    for (const SavedItem& item : items)
        text += QStringLiteral("File%1=%2\r\nTitle%1=%3\r\nLength%1=%4\r\n")
                    .arg(QString::number(item.number), item.path, item.title, LengthText(item.length));
    text += QStringLiteral("NumberOfEntries=%1\r\nVersion=2\r\n").arg(items.size());
    return text.toUtf8();
}

std::optional<QString> Id3v1Title(const QByteArray& last128) {
    if (last128.size() != kTagBytes || !last128.startsWith("TAG")) return std::nullopt;
    QByteArray title = last128.mid(3, kTagTitleBytes);
    const qsizetype zero = title.indexOf('\0');
    if (zero >= 0) title.truncate(zero);
    while (title.endsWith(' ')) title.chop(1);
    return DecodeListText(title);
}

std::optional<QString> FileTagTitle(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= kTagBytes || !file.seek(file.size() - kTagBytes))
        return std::nullopt;
    return Id3v1Title(file.read(kTagBytes));
}

}  // namespace playlist
