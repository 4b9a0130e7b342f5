#include "settings/IniDocument.h"

#include <QLatin1StringView>

#include <algorithm>
#include <array>

namespace settings {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kStringPrefix[] = "@String(";

// Characters written as a backslash and a letter, or a backslash and themselves.
constexpr std::array<std::pair<char16_t, char>, 9> kNamedEscapes{{{u'\a', 'a'},
                                                                  {u'\b', 'b'},
                                                                  {u'\f', 'f'},
                                                                  {u'\n', 'n'},
                                                                  {u'\r', 'r'},
                                                                  {u'\t', 't'},
                                                                  {u'\v', 'v'},
                                                                  {u'"', '"'},
                                                                  {u'\\', '\\'}}};

bool IsLineBreak(char c) {
    return c == '\n' || c == '\r';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || IsLineBreak(c);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsHexDigit(char16_t c) {
    return c < 0x80 && HexValue(static_cast<char>(c)) >= 0;
}

// One line with content: its text without a trailing comment, and the offset
// of its first '=' outside double quotes (-1: none).
struct Line {
    QByteArrayView text;
    qsizetype equals = -1;
};

// Reads the next line with content from `pos` on. A line break inside double
// quotes or right after a backslash continues the line; ';' outside quotes
// starts a comment that runs to the end of the physical line.
bool NextLine(QByteArrayView data, qsizetype& pos, Line& line) {
    const qsizetype size = data.size();
    for (;;) {
        while (pos < size && IsBlank(data[pos])) ++pos;
        if (pos >= size) return false;
        if (data[pos] != ';') break;
        while (pos < size && !IsLineBreak(data[pos])) ++pos;
    }
    const qsizetype start = pos;
    bool inQuotes = false;
    line.equals = -1;
    while (pos < size) {
        const char c = data[pos];
        if (!inQuotes && (IsLineBreak(c) || c == ';')) break;
        if (c == '\\') {
            pos += 2;
            // "\r\n" and "\n\r" after a backslash are one line break.
            if (pos < size && IsLineBreak(data[pos - 1]) && IsLineBreak(data[pos]) &&
                data[pos] != data[pos - 1])
                ++pos;
            continue;
        }
        if (c == '"') {
            inQuotes = !inQuotes;
        } else if (c == '=' && !inQuotes && line.equals < 0) {
            line.equals = pos - start;
        }
        ++pos;
    }
    pos = std::min(pos, size);
    line.text = data.sliced(start, pos - start);
    return true;
}

// Names keep letters, digits, '_', '-' and '.'; '/' becomes '\'; any other
// character becomes %XX, or %UXXXX beyond Latin-1.
QByteArray EscapeName(const QString& name) {
    QByteArray out;
    out.reserve(name.size());
    for (const QChar qc : name) {
        const char16_t c = qc.unicode();
        if (c == u'/') {
            out += '\\';
        } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                   c == u'_' || c == u'-' || c == u'.') {
            out += static_cast<char>(c);
        } else if (c <= 0xFF) {
            out += '%';
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 0xF];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(c >> shift) & 0xF];
        }
    }
    return out;
}

// The inverse of EscapeName; other bytes are UTF-8.
QString UnescapeName(QByteArrayView escaped) {
    const QString text = QString::fromUtf8(escaped);
    QString name;
    name.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == u'\\') {
            name += u'/';
            ++i;
            continue;
        }
        if (c == u'%' && i + 1 < text.size()) {
            const bool wide = text[i + 1] == u'U';
            const qsizetype first = i + (wide ? 2 : 1);
            const qsizetype digits = wide ? 4 : 2;
            bool ok = first + digits <= text.size();
            const ushort code = ok ? QStringView(text).sliced(first, digits).toUShort(&ok, 16) : 0;
            if (ok) {
                name += QChar(code);
                i = first + digits;
                continue;
            }
        }
        name += c;
        ++i;
    }
    return name;
}

void AppendHexEscape(QByteArray& out, char16_t c) {
    out += "\\x";
    out += QByteArray::number(c, 16);
}

// One text of a value, UTF-8 with control characters escaped; a text holding
// ';', ',' or '=', or starting or ending with a space, is quoted. After a
// numeric escape a following hex digit is escaped too, since readers take as
// many digits as follow. Typed byte values keep to one byte per character.
QByteArray EncodeText(const QString& text) {
    const bool bytesOnly = text.startsWith(QLatin1StringView("@ByteArray(")) ||
                           text.startsWith(QLatin1StringView("@Variant(")) ||
                           text.startsWith(QLatin1StringView("@DateTime("));
    QByteArray out;
    out.reserve(text.size() + 2);
    bool quote = false;
    bool escapeHexDigit = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u';' || c == u',' || c == u'=') quote = true;
        if (escapeHexDigit && IsHexDigit(c)) {
            AppendHexEscape(out, c);
            continue;
        }
        escapeHexDigit = false;
        const auto named = std::find_if(kNamedEscapes.begin(), kNamedEscapes.end(),
                                        [c](const auto& entry) { return entry.first == c; });
        if (c == 0) {
            out += "\\0";
            escapeHexDigit = true;
        } else if (named != kNamedEscapes.end()) {
            out += '\\';
            out += named->second;
        } else if (c < 0x20 || (c >= 0x7F && bytesOnly)) {
            AppendHexEscape(out, c);
            escapeHexDigit = true;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            const qsizetype units =
                text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
            out += QStringView(text).sliced(i, units).toUtf8();
            i += units - 1;
        }
    }
    if (quote || out.startsWith(' ') || out.endsWith(' ')) {
        out.prepend('"');
        out.append('"');
    }
    return out;
}

QByteArray EncodeValue(const IniDocument::Value& value) {
    QByteArray out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (i != 0) out += ", ";
        out += EncodeText(value[i]);
    }
    return out;
}

// Decodes the escape whose character (after the backslash) is at `i` and
// returns the index after it. Numeric escapes take every digit that follows.
qsizetype DecodeEscape(QByteArrayView encoded, qsizetype i, QString& out) {
    const qsizetype size = encoded.size();
    const char e = encoded[i++];
    if (const auto named = std::find_if(kNamedEscapes.begin(), kNamedEscapes.end(),
                                        [e](const auto& entry) { return entry.second == e; });
        named != kNamedEscapes.end()) {
        out += QChar(named->first);
    } else if (e == '?' || e == '\'') {
        out += QLatin1Char(e);
    } else if (e == 'x') {
        // A lone "\x" stands for nothing.
        if (i >= size || HexValue(encoded[i]) < 0) return i;
        char16_t code = 0;
        while (i < size && HexValue(encoded[i]) >= 0)
            code = static_cast<char16_t>(code * 16 + HexValue(encoded[i++]));
        out += QChar(code);
    } else if (e >= '0' && e <= '7') {
        auto code = static_cast<char16_t>(e - '0');
        while (i < size && encoded[i] >= '0' && encoded[i] <= '7')
            code = static_cast<char16_t>(code * 8 + (encoded[i++] - '0'));
        out += QChar(code);
    } else if (IsLineBreak(e)) {
        // A continued line; "\r\n" and "\n\r" count as one break.
        if (i < size && IsLineBreak(encoded[i]) && encoded[i] != e) ++i;
    }
    // Any other escaped character stands for nothing.
    return i;
}

// Decodes "text" or "text, text, ...". Blanks around unquoted texts are
// dropped; escaped characters are always kept.
IniDocument::Value DecodeValue(QByteArrayView encoded) {
    IniDocument::Value parts;
    QString current;
    qsizetype keepFrom = 0;  // trailing blanks before this index came from escapes or quotes
    bool quoted = false;     // the current text had quotes: its blanks stay
    bool inQuotes = false;
    qsizetype i = 0;
    const qsizetype size = encoded.size();
    auto skipBlanks = [&] {
        while (i < size && (encoded[i] == ' ' || encoded[i] == '\t')) ++i;
    };
    auto chopBlanks = [&] {
        if (quoted) return;
        qsizetype end = current.size();
        while (end > keepFrom && (current[end - 1] == u' ' || current[end - 1] == u'\t')) --end;
        current.truncate(end);
    };
    skipBlanks();
    while (i < size) {
        const char c = encoded[i];
        if (c == '\\') {
            if (++i >= size) break;
            i = DecodeEscape(encoded, i, current);
            keepFrom = current.size();
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipBlanks();
                keepFrom = current.size();
            }
        } else if (c == ',' && !inQuotes) {
            chopBlanks();
            parts.append(current);
            current.clear();
            quoted = false;
            ++i;
            skipBlanks();
            keepFrom = 0;
        } else {
            qsizetype end = i + 1;
            while (end < size && encoded[end] != '\\' && encoded[end] != '"' && encoded[end] != ',') ++end;
            current += QString::fromUtf8(encoded.sliced(i, end - i));
            i = end;
        }
    }
    chopBlanks();
    parts.append(current);
    return parts;
}

QByteArray SectionHeader(const QString& section) {
    if (section.isEmpty()) return "[General]";
    if (section.compare(QLatin1StringView("general"), Qt::CaseInsensitive) == 0)
        return "[%" + section.toLatin1() + "]";
    return "[" + EscapeName(section) + "]";
}

// "Section/name" -> ("Section", "name"); a name without '/' is in [General].
std::pair<QString, QString> SplitName(const QString& fullName) {
    const qsizetype slash = fullName.indexOf(u'/');
    if (slash < 0) return {QString(), fullName};
    return {fullName.left(slash), fullName.mid(slash + 1)};
}

}  // namespace

IniDocument IniDocument::Parse(QByteArrayView bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes = bytes.sliced(3);
    IniDocument document;
    QString prefix;  // "Section/", or empty in [General]
    qsizetype pos = 0;
    Line line;
    while (NextLine(bytes, pos, line)) {
        if (line.text.startsWith('[')) {
            // A header without ']' still names its section, as in QSettings.
            const qsizetype close = line.text.indexOf(']');
            const QByteArrayView section =
                line.text.sliced(1, (close < 0 ? line.text.size() : close) - 1).trimmed();
            if (section.compare("general", Qt::CaseInsensitive) == 0 || section.isEmpty()) {
                prefix.clear();
            } else if (section.compare("%general", Qt::CaseInsensitive) == 0) {
                prefix = QString::fromLatin1(section.sliced(1)) + u'/';
            } else {
                prefix = UnescapeName(section) + u'/';
            }
            continue;
        }
        if (line.equals < 0) continue;  // neither a section nor a value
        const QByteArrayView name = line.text.first(line.equals).trimmed();
        if (name.isEmpty()) continue;
        document.Set(prefix + UnescapeName(name), DecodeValue(line.text.sliced(line.equals + 1)));
    }
    return document;
}

QByteArray IniDocument::ToBytes() const {
    // Sections in the order they first appear, each with its values in order.
    QStringList sections;
    for (const auto& entry : entries_) {
        const QString section = SplitName(entry.first).first;
        if (!sections.contains(section)) sections.append(section);
    }
    QByteArray out;
    for (const QString& section : sections) {
        if (!out.isEmpty()) out += '\n';
        out += SectionHeader(section) + '\n';
        for (const auto& [fullName, value] : entries_) {
            const auto [entrySection, name] = SplitName(fullName);
            if (entrySection == section) out += EscapeName(name) + '=' + EncodeValue(value) + '\n';
        }
    }
    return out;
}

const IniDocument::Value* IniDocument::Find(const QString& name) const {
    const auto it =
        std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.first == name; });
    return it == entries_.end() ? nullptr : &it->second;
}

void IniDocument::Set(const QString& name, Value value) {
    if (value.isEmpty()) value.append(QString());
    const auto it =
        std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.first == name; });
    if (it != entries_.end()) {
        it->second = std::move(value);
    } else {
        entries_.emplace_back(name, std::move(value));
    }
}

std::optional<QString> IniDocument::TextOf(const Value& value) {
    if (value.size() != 1) return std::nullopt;
    const QString& text = value.front();
    if (!text.startsWith(u'@')) return text;
    if (text.startsWith(QLatin1StringView("@@"))) return text.mid(1);
    if (!text.endsWith(u')')) return text;
    if (text.startsWith(QLatin1StringView(kStringPrefix)))
        return text.sliced(sizeof kStringPrefix - 1).chopped(1);
    // What QSettings writes for values of other types.
    static constexpr std::array<const char*, 7> kTypedPrefixes{
        "@ByteArray(", "@Variant(", "@DateTime(", "@Rect(", "@Size(", "@Point(", "@Invalid("};
    const bool typed = std::any_of(kTypedPrefixes.begin(), kTypedPrefixes.end(), [&](const char* prefix) {
        return text.startsWith(QLatin1StringView(prefix));
    });
    if (typed) return std::nullopt;
    return text;
}

IniDocument::Value IniDocument::FromText(const QString& text) {
    // A text with a NUL character is wrapped as QSettings wraps it.
    if (text.contains(QChar(0))) return {QLatin1StringView(kStringPrefix) + text + u')'};
    return {text.startsWith(u'@') ? u'@' + text : text};
}

}  // namespace settings
