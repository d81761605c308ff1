#include "appdb/name_table.h"

void TNameTable::set(uint32_t id, std::string name) {
    if (uint64_t{id} + 1 > size_) size_ = uint64_t{id} + 1;
    names_[id] = std::move(name);
}

const std::string& TNameTable::at(uint32_t id) const {
    static const std::string kEmpty;
    auto it = names_.find(id);
    return it == names_.end() ? kEmpty : it->second;
}
