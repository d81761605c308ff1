#pragma once
// Gives a sender's calls the links that matching found for them.

#include "model/link_parts.h"
#include "model/trace_model.h"

#include <cstdint>
#include <vector>

// Stores the new links of the sender at position j, after any links its
// calls had, in one new block. The links come as runs of one receiver each,
// receivers ascending, each run in call order; each call keeps them in
// receiver order. earlierLinks: whether any call of the sender has links
// already. perCall: scratch room. linkedCalls, when given, gets the bits of
// the calls that got links.
void storeLinks(std::vector<TProcess>& procs, uint32_t j, const std::vector<LinkOut>& links,
                bool earlierLinks, std::vector<uint64_t>& perCall,
                std::vector<uint64_t>* linkedCalls);
