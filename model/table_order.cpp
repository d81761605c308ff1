#include "model/table_order.h"

#include "model/stat_tables.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace {

// What a cell sorts by: its class (number, text, empty), then its numbers
// or its text.
struct SortKey {
    int rank = 2; // 0 number, 1 text, 2 empty
    double first = 0, second = 0;
    std::string text;
};

SortKey keyOf(const std::string& cell) {
    SortKey k;
    if (cell.empty()) return k;
    if (const std::optional<double> n = leadingNumber(cell)) {
        k.rank = 0;
        k.first = *n;
        if (const size_t slash = cell.find('/'); slash != std::string::npos)
            k.second = leadingNumber(cell.substr(slash + 1)).value_or(0);
        return k;
    }
    k.rank = 1;
    k.text = cell;
    return k;
}

bool less(const SortKey& a, const SortKey& b) {
    if (a.rank != b.rank) return a.rank < b.rank;
    if (a.rank == 1) return a.text < b.text;
    return a.first != b.first ? a.first < b.first : a.second < b.second;
}

} // namespace

std::optional<double> leadingNumber(const std::string& cell) {
    const char* begin = cell.c_str();
    // Plain decimals only: no "inf", "nan" or hex.
    const char c = begin[0] == '-' ? begin[1] : begin[0];
    if (!(c >= '0' && c <= '9') && c != '.') return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (end == begin) return std::nullopt;
    return v;
}

std::vector<uint32_t> sortedRows(const StatTable& table, uint32_t column, bool ascending) {
    std::vector<SortKey> keys(table.rowCount);
    for (uint32_t r = 0; r < table.rowCount; ++r) {
        const std::vector<std::string> cells = table.rowCells(r);
        if (column < cells.size()) keys[r] = keyOf(cells[column]);
    }
    std::vector<uint32_t> order(table.rowCount);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const SortKey& x = keys[a];
        const SortKey& y = keys[b];
        if (x.rank == 2 || y.rank == 2) return x.rank < y.rank; // empty last both ways
        return ascending ? less(x, y) : less(y, x);
    });
    return order;
}
