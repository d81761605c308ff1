#pragma once
// Steps through the records of a .zlv file one at a time: dispatches on the
// tag, decodes call records (a short one keeps the long-only fields of the
// last long one), counters and declarations, and leaves a call's member list
// for the caller to read or skip. Every reader of the format walks with it.

#include "format/func_ids.h"
#include "format/zlv_records.h"
#include "model/record_source.h"

#include <cstdint>
#include <vector>

class RecordCursor {
  public:
    enum class Kind {
        End,         // no whole tag word left (1 to 3 stray bytes are ignored)
        Truncated,   // the record at recordStart() does not end in the file
        UnknownTag,  // tag() is no tag of the format
        Counter,     // counterTimes(), counterLocation()
        Skip,        // padding
        Declaration, // declaredRank(), declaredNode()
        Call,        // call(), isLong(), hasMembers()
    };

    // `last`: the call record before src's position (its long-only fields
    // carry over to short records).
    explicit RecordCursor(RecordSource& src, const CallRecord& last = {})
        : src_(src), call_(last) {}

    Kind next() {
        recordStart_ = src_.offset();
        const unsigned char* tagBytes = src_.peek(4);
        if (!tagBytes) return Kind::End;
        tag_ = readLE32(tagBytes);
        // Short and long call records come mixed in no order: their path
        // takes no branch on which of the two it is.
        isLong_ = tag_ == kTagLongCall;
        const bool isCall = isLong_ || tag_ == kTagShortCall;
        const size_t length = isCall ? (isLong_ ? kLongCallRecordSize : kShortCallRecordSize)
                                     : recordSizeForTag(tag_);
        if (length == 0) return Kind::UnknownTag;
        const unsigned char* rec = src_.peek(length);
        if (!rec) return Kind::Truncated;
        src_.consume(length);
        if (isCall) return decodeCall(rec);
        if (tag_ != kTagCounter) return Kind::Skip;
        counterTimes_ = readLE32(rec + kCounterTimesAt);
        counterLocation_ = readLE32(rec + kCounterLocationAt);
        return Kind::Counter;
    }

    uint64_t recordStart() const { return recordStart_; }
    uint32_t tag() const { return tag_; }
    uint32_t counterTimes() const { return counterTimes_; }
    uint32_t counterLocation() const { return counterLocation_; }
    uint32_t declaredRank() const { return call_.location; }
    uint32_t declaredNode() const { return static_cast<uint32_t>(call_.end & 0xFFFFFFFF); }
    const CallRecord& call() const { return call_; }
    bool isLong() const { return isLong_; }
    bool hasMembers() const { return isLong_ && (call_.function & kFuncMembersBit); }

    // The member list after the last call record (call().size words): false
    // when it runs past the file's end or past byte `limit`.
    bool readMembers(std::vector<uint32_t>& out, uint64_t limit = UINT64_MAX) {
        if (!listFits(limit)) return false;
        out.resize(call_.size);
        return src_.readWords(out.data(), out.size());
    }
    bool skipMembers(uint64_t limit = UINT64_MAX) {
        return listFits(limit) && src_.skip(listBytes()) == listBytes();
    }

  private:
    Kind decodeCall(const unsigned char* rec) {
        readCallRecord(rec, false, call_);
        // A short record's own first bytes go to the scratch record: nothing
        // past its end is read.
        const unsigned char* tail = rec + kShortCallRecordSize * isLong_;
        CallRecord& into = isLong_ ? call_ : scratch_;
        into.size = readLE32(tail + (kCallSizeAt - kShortCallRecordSize));
        into.msgTag = readLE32(tail + (kCallTagAt - kShortCallRecordSize));
        into.peer = static_cast<int32_t>(readLE32(tail + (kCallPeerAt - kShortCallRecordSize)));
        into.comm = readLE32(tail + (kCallCommAt - kShortCallRecordSize));
        return !isLong_ && call_.function == kDeclarationFunc ? Kind::Declaration : Kind::Call;
    }

    uint64_t listBytes() const { return uint64_t{call_.size} * kMemberWordSize; }
    // Checked before reading: a list claiming more than the file holds must
    // not make us allocate for it.
    bool listFits(uint64_t limit) const {
        const uint64_t bytes = listBytes();
        return bytes <= src_.bytesLeft() && src_.offset() <= limit &&
               bytes <= limit - src_.offset();
    }

    RecordSource& src_;
    CallRecord call_;
    CallRecord scratch_;
    uint64_t recordStart_ = 0;
    uint32_t tag_ = 0;
    bool isLong_ = false;
    uint32_t counterTimes_ = 0;
    uint32_t counterLocation_ = 0;
};
