#pragma once
// Test helper: every row of a statistics or analysis table, as cell texts.

#include "model/stat_tables.h"

#include <string>
#include <vector>

using Cells = std::vector<std::string>;

inline std::vector<Cells> allRows(const StatTable& t) {
    std::vector<Cells> rows;
    for (uint32_t r = 0; r < t.rowCount; ++r) rows.push_back(t.rowCells(r));
    return rows;
}
