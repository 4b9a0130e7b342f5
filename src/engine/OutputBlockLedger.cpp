#include "engine/OutputBlockLedger.h"

#include <algorithm>

namespace engine {

void OutputBlockLedger::ClearFlags() {
    written.fill(false);
    silence.fill(false);
    heard.fill(false);
}

int OutputBlockLedger::CountWritten() const {
    return static_cast<int>(std::count(written.begin(), written.end(), true));
}

}  // namespace engine
