#pragma once

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define ORVO_HAVE_MXCSR 1
#endif

namespace platform::sound {

// Flushes denormals to zero (and treats denormal inputs as zero) on this
// thread for as long as it lives, then restores the thread's previous mode.
// Set at every render entry: some drivers reset the mode between callbacks,
// and filter tails that decay into denormals would otherwise cost dearly. The
// restore keeps the mode from leaking into a thread that only renders now and
// then (a test's thread, the Offline clock).
class DenormalGuard {
public:
    DenormalGuard() noexcept {
#ifdef ORVO_HAVE_MXCSR
        saved_ = _mm_getcsr();
        _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero);
#endif
    }
    ~DenormalGuard() {
#ifdef ORVO_HAVE_MXCSR
        _mm_setcsr(saved_);
#endif
    }
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
#ifdef ORVO_HAVE_MXCSR
    static constexpr unsigned int kFlushToZero = 0x8000;
    static constexpr unsigned int kDenormalsAreZero = 0x0040;
    unsigned int saved_ = 0;
#endif
};

}  // namespace platform::sound
