#pragma once
// Dotted-decimal text of a stored node identifier, octets in file order.

#include <cstdint>
#include <string>

std::string dottedNodeId(uint32_t nodeId);
