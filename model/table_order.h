#pragma once
// Orders and weighs the cells of a statistics table: the sort behind a click
// on a column header and the numbers behind a matrix's heat map.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct StatTable;

// The number a cell starts with ("12.5" -> 12.5, "3/7" -> 3); nullopt for
// text and empty cells.
std::optional<double> leadingNumber(const std::string& cell);

// Row indices ordered by the cells of `column`: numbers by value (a
// "sent/received" cell by sent, then received), other texts alphabetically
// after them, empty cells last in either direction. Equal cells keep their
// row order.
std::vector<uint32_t> sortedRows(const StatTable& table, uint32_t column, bool ascending);
