#pragma once

namespace testing_support {

// Counts the calls of operator new (and new[]) made on the calling thread
// while the object lives; other threads are not counted. The test program
// replaces the global operator new for this (ThreadAllocationCount.cpp).
class ThreadAllocationCount {
public:
    ThreadAllocationCount();
    ThreadAllocationCount(const ThreadAllocationCount&) = delete;
    ThreadAllocationCount& operator=(const ThreadAllocationCount&) = delete;
    ~ThreadAllocationCount();

    long Count() const { return count_; }

private:
    long count_ = 0;
    long* previous_;
};

}  // namespace testing_support
