#pragma once
// Writes a statistics table as aligned text, TSV or RFC 4180 CSV.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

struct StatTable;

enum class TableFormat { Text, Tsv, Csv };

std::optional<TableFormat> parseTableFormat(const std::string& name);

// With row labels (the matrices) every line starts with the row's label and
// the header line with an empty cell.
void writeTable(const StatTable& table, TableFormat format, std::ostream& out);

// Lines of cells as TSV or CSV text (Text gives TSV), with the same quoting
// and line ends as writeTable.
std::string separatedText(const std::vector<std::vector<std::string>>& lines, TableFormat format);
