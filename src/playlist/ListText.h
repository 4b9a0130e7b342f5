#pragma once

#include <QByteArray>
#include <QString>

namespace playlist {

// Text from play list files and tags: UTF-8 when the bytes are valid UTF-8
// (a byte order mark is dropped), otherwise Windows-1252, the code page older
// lists and most ID3 version 1 tags were written in.
QString DecodeListText(const QByteArray& bytes);
// Windows-1252 alone.
QString DecodeWindows1252(const QByteArray& bytes);

}  // namespace playlist
