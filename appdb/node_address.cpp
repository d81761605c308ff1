#include "appdb/node_address.h"

std::string dottedNodeId(uint32_t nodeId) {
    // The first byte of the file holds the first number of the dotted form.
    return std::to_string(nodeId & 0xFF) + "." + std::to_string((nodeId >> 8) & 0xFF) + "." +
           std::to_string((nodeId >> 16) & 0xFF) + "." + std::to_string(nodeId >> 24);
}
