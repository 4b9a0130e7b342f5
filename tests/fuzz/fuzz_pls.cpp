// .pls lists of any bytes: read without crashing, header or not.
#include "FuzzChecks.h"
#include "playlist/ListText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = playlist::DecodeListText(fuzzing::Bytes(data, size));
    if (const auto items = playlist::ReadPls(text, QStringLiteral("/lists/set"))) fuzzing::CheckItems(*items);
    return 0;
}
