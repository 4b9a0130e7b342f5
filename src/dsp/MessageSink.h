#pragma once

#include <functional>

#include "platform/Messages.h"

namespace dsp {

// Where the deck's equalizer and effects windows send their messages: the
// main window, which handles each one before the call returns. The windows
// bind it to the main window's MessagePort; tests record what arrives.
using MessageSink = std::function<void(platform::Message message, const platform::Payload& payload)>;

}  // namespace dsp
