#include "model/link_store.h"

#include "model/memory_advice.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>

namespace {

constexpr size_t kCallsAhead = 16;

TLinkBlock freshBlock(size_t links) {
    TLinkBlock block(static_cast<TLink*>(::operator new(links * sizeof(TLink))));
    adviseHugePages(block.get(), links * sizeof(TLink));
    prefaultForWriting(block.get(), links * sizeof(TLink));
    return block;
}

TLink linkOf(const std::vector<TProcess>& procs, const LinkOut& x) {
    const TProcess& to = procs[x.receiver];
    // The receiving process's calls are not written while its senders link.
    auto* recv = const_cast<TFunc*>(to.calls.data() + x.recvCall);
    return {to.rank, x.endGap, recv};
}

bool oneReceiver(const std::vector<LinkOut>& links) {
    return std::all_of(links.begin(), links.end(),
                       [&](const LinkOut& x) { return x.receiver == links.front().receiver; });
}

void markLinked(std::vector<uint64_t>* linkedCalls, uint32_t k) {
    if (linkedCalls) (*linkedCalls)[k / 64] |= uint64_t{1} << (k % 64);
}

} // namespace

void storeLinks(std::vector<TProcess>& procs, uint32_t j, const std::vector<LinkOut>& links,
                bool earlierLinks, std::vector<uint64_t>& perCall,
                std::vector<uint64_t>* linkedCalls) {
    if (links.empty()) return;
    TProcess& sender = procs[j];
    // One receiver gives each call one link, in call order: the links go
    // to the block as they come, without counting them per call first
    // (room of a word per call, for two processes with millions of calls).
    if (!earlierLinks && oneReceiver(links)) {
        TLinkBlock block = freshBlock(links.size());
        for (size_t x = 0; x < links.size(); ++x) {
            TFunc& s = sender.calls[links[x].call];
            ::new (block.get() + x) TLink(linkOf(procs, links[x]));
            s.links.borrow(block.get() + x);
            s.linkCount = 1;
            markLinked(linkedCalls, links[x].call);
        }
        sender.linkBlocks.push_back(std::move(block));
        return;
    }
    // Walking every call once more would cost as much as the matching: only
    // calls that got links are touched.
    perCall.assign(sender.calls.size(), 0);
    for (const LinkOut& x : links) ++perCall[x.call];
    size_t total = links.size();
    if (earlierLinks)
        for (uint32_t k = 0; k < perCall.size(); ++k)
            if (perCall[k] != 0) total += sender.calls[k].linkCount;
    TLinkBlock block = freshBlock(total);
    // Each call's old links, then room for its new ones; perCall becomes
    // where the call's next new link goes.
    size_t next = 0;
    TFunc* const calls = sender.calls.data();
    for (uint32_t k = 0; k < perCall.size(); ++k) {
        // The calls with links lie apart: their links are asked for ahead.
        __builtin_prefetch(reinterpret_cast<const char*>(calls + k) + kCallsAhead * sizeof(TFunc) +
                               offsetof(TFunc, links),
                           1);
        if (perCall[k] == 0) continue;
        markLinked(linkedCalls, k);
        TFunc& s = calls[k];
        TLink* start = block.get() + next;
        std::uninitialized_copy_n(s.links.get(), s.linkCount, start);
        const size_t count = s.linkCount + perCall[k];
        perCall[k] = next + s.linkCount;
        next += count;
        s.links.borrow(start);
        s.linkCount = static_cast<uint32_t>(std::min<size_t>(count, TFunc::kMaxLinks));
    }
    for (const LinkOut& x : links) ::new (block.get() + perCall[x.call]++) TLink(linkOf(procs, x));
    // Earlier blocks stay: calls without new links still borrow from them.
    sender.linkBlocks.push_back(std::move(block));
}
