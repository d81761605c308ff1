#pragma once
// What the link builder's steps hand each other: sends looked up by
// receiver, and links found but not yet stored.

#include <cstdint>

// A send finds its candidate by communicator and tag (point-to-point) or by
// communicator and function (collective).
enum KeyClass : uint32_t { kByTag = 0, kByFunction = 1 };

inline uint64_t keyOf(uint32_t comm, uint32_t value) {
    return uint64_t{comm} << 32 | value;
}

// A send that names one receiver. Its key and end are read from the call
// when it is matched: one receiver's sends come in call order, so that read
// walks the sender's list once, and two processes have millions of them.
// Left unset when made: the sorted list is sized first, then every entry written.
struct ExplicitSend {
    ExplicitSend() {}
    ExplicitSend(uint32_t receiver_, uint32_t call_) : receiver(receiver_), call(call_) {}
    uint32_t receiver;
    uint32_t call;
};

// One link found: the sending call, and the receiving call by its process's
// position and its index there. Small, as a sender may hold millions.
struct LinkOut {
    uint32_t call;
    uint32_t receiver;
    int32_t endGap;
    uint32_t recvCall;
};
static_assert(sizeof(LinkOut) == 16 && sizeof(ExplicitSend) == 8);
