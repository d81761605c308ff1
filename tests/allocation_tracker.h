#pragma once
// Watches what operator new hands out in this test program, so that tests can
// say "allocates nothing large" about code under test. Single-threaded use.

#include <cstddef>

class AllocationScope {
  public:
    AllocationScope();  // starts watching; one scope at a time
    ~AllocationScope(); // stops watching

    // Largest single request since the scope began.
    size_t largestRequest() const;
    // Highest number of bytes alive at once since the scope began, counting
    // only what was allocated inside the scope.
    size_t peakLiveBytes() const;
};
