#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "playlist/ListFiles.h"

namespace fuzzing {

// The fuzzer's input as bytes.
inline QByteArray Bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// What any list read must give: full, clean paths, and lengths that are
// whole seconds (or -1) of a sane size.
inline void CheckItems(const std::vector<playlist::ListItem>& items) {
    for (const playlist::ListItem& item : items) {
        if (item.path.isEmpty() || !QDir::isAbsolutePath(item.path) ||
            QDir::cleanPath(item.path) != item.path)
            std::abort();
        if (!(item.length >= -1e9 && item.length <= 1e9) ||
            item.length != static_cast<double>(static_cast<long long>(item.length)))
            std::abort();
    }
}

}  // namespace fuzzing
