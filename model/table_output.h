#pragma once
// Writes a statistics table as aligned text, TSV or RFC 4180 CSV.

#include <optional>
#include <ostream>
#include <string>

struct StatTable;

enum class TableFormat { Text, Tsv, Csv };

std::optional<TableFormat> parseTableFormat(const std::string& name);

// With row labels (the matrices) every line starts with the row's label and
// the header line with an empty cell.
void writeTable(const StatTable& table, TableFormat format, std::ostream& out);
