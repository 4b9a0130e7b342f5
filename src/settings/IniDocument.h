#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace settings {

// The values of an INI file, in the dialect Qt's QSettings reads and writes,
// so that a file written by either reads the same through the other:
//  - "[Section]" starts a section and a value's full name is "Section/name";
//    "[General]" holds the names without a section;
//  - "name=value" lines; ';' outside double quotes starts a comment;
//  - a value is one text or a comma-separated list of texts, each with C-style
//    backslash escapes and optional double quotes; a backslash or an open
//    quote carries a value over a line break.
// Lines that are none of these are dropped, as QSettings drops them. The
// document keeps the order of the file; ToBytes() writes one line per value.
class IniDocument {
public:
    // One text, or two or more for a list.
    using Value = QStringList;

    static IniDocument Parse(QByteArrayView bytes);
    QByteArray ToBytes() const;

    // Full names, e.g. "Settings/levelDeckA". A name seen twice keeps its last value.
    const Value* Find(const QString& name) const;
    // `value` holds at least one text.
    void Set(const QString& name, Value value);

    // The text a value stands for: nothing for a list or for a typed value
    // such as "@ByteArray(...)". A text that begins with '@' is stored with a
    // second '@' so that it is not taken for a typed value.
    static std::optional<QString> TextOf(const Value& value);
    static Value FromText(const QString& text);

private:
    std::vector<std::pair<QString, Value>> entries_;
};

}  // namespace settings
