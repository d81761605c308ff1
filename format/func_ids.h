#pragma once
// Function identifiers with a meaning of their own in a trace, the bits of
// an identifier, the kinds a call is classified into, and the predefined
// communicators.

#include <cstdint>

constexpr uint32_t kFuncInit = 1;
constexpr uint32_t kFuncFinalize = 2;
constexpr uint32_t kFuncSend = 3;
constexpr uint32_t kFuncRecv = 4;
constexpr uint32_t kFuncBcast = 5;
constexpr uint32_t kFuncReduce = 6;
constexpr uint32_t kFuncIsend = 8;
constexpr uint32_t kFuncIrecv = 9;
constexpr uint32_t kFuncScatter = 11;
constexpr uint32_t kFuncScatterv = 12;
constexpr uint32_t kFuncGather = 13;
constexpr uint32_t kFuncGatherv = 14;
constexpr uint32_t kFuncWait = 16;
constexpr uint32_t kFuncWaitIsend = 24;
constexpr uint32_t kFuncWaitIrecv = 25;
constexpr uint32_t kFuncCommDup = 32;
constexpr uint32_t kFuncCommSplit = 33;
constexpr uint32_t kFuncCartCreate = 34;
constexpr uint32_t kFuncCartSub = 35;
constexpr uint32_t kFuncCommFree = 36;
// The highest identifier of the fixed table.
constexpr uint32_t kFuncLastFixed = kFuncCommFree;
// A zero-length call drawn as a mark, not as a bar.
constexpr uint32_t kFuncInstantMark = 65;
// A section begins: the call's location is the section's identifier.
constexpr uint32_t kFuncSection = 67;

// Bits of a function identifier.
constexpr uint32_t kFuncWaitBit = 0x10;
constexpr uint32_t kFuncMembersBit = 0x20;  // a long record followed by a member list
constexpr uint32_t kUnfinishedFlag = 0x800; // the process ended inside the call

// Kind bits of a call, computed once by TFunc::classify.
constexpr uint32_t kKindInitFinalize = 0x01;
constexpr uint32_t kKindSend = 0x02;
constexpr uint32_t kKindRecv = 0x04;
constexpr uint32_t kKindWait = 0x08;
constexpr uint32_t kKindCollective = 0x20;

// Identifiers a trace gives the functions it names itself, beyond the fixed
// table and the tracer's range: the k-th spread over the bits that carry no
// meaning, above every identifier of those two.
constexpr uint32_t kTraceFuncBase = 0x40000000;
constexpr uint32_t kTraceFuncLimit = uint32_t{1} << 27; // names a trace can give
constexpr uint32_t traceFuncId(uint32_t k) {
    return kTraceFuncBase | (k & 0xF) | ((k >> 4) & 0x1F) << 6 | (k >> 9) << 12;
}

// Communicators every process knows without a creating call.
constexpr uint32_t kWorldComm = 91;
constexpr uint32_t kSelfComm = 92;
// "Never freed" marker of the predefined communicators.
constexpr uint32_t kNeverFreed = 0xFFFFFFFFu;
