// The ends of files of any bytes read for an ID3 version 1 title: at most 30
// characters, never a zero, and tag text decoded either way.
#include "FuzzChecks.h"
#include "playlist/ListText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = fuzzing::Bytes(data, size);
    if (const auto title = playlist::Id3v1Title(bytes.right(128))) {
        if (title->size() > 30 || title->contains(QChar(0))) std::abort();
    }
    if (playlist::DecodeWindows1252(bytes).size() != bytes.size()) std::abort();
    return 0;
}
