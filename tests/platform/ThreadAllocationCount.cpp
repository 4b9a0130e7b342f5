#include "platform/ThreadAllocationCount.h"

#include <cstdlib>
#include <new>

namespace {

// Constant-initialised, so reading it never allocates.
thread_local long* threadCounter = nullptr;

void* Allocate(std::size_t size) {
    if (threadCounter) ++*threadCounter;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}

}  // namespace

// The replaceable global forms; the nothrow ones call these, and the aligned
// ones keep their own allocation and release, which pair with each other.
void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace testing_support {

ThreadAllocationCount::ThreadAllocationCount() : previous_(threadCounter) {
    threadCounter = &count_;
}

ThreadAllocationCount::~ThreadAllocationCount() {
    threadCounter = previous_;
}

}  // namespace testing_support
