// .m3u lists of any bytes: read without crashing, and what is read saves
// and reads back to the same tracks.
#include "FuzzChecks.h"
#include "playlist/ListText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = playlist::DecodeListText(fuzzing::Bytes(data, size));
    const auto items = playlist::ReadM3u(text, QStringLiteral("/lists/set"));
    fuzzing::CheckItems(items);

    std::vector<playlist::SavedItem> saved;
    for (const auto& item : items) saved.push_back({0, item.path, item.title, item.length});
    const auto back =
        playlist::ReadM3u(playlist::DecodeListText(playlist::WriteM3u(saved)), QStringLiteral("/x"));
    if (back.size() != items.size()) std::abort();
    return 0;
}
