#include "model/table_output.h"

#include "model/stat_tables.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace {

using Cells = std::vector<std::string>;

Cells headerLine(const StatTable& t) {
    Cells header;
    if (!t.rowLabels.empty()) header.emplace_back();
    header.insert(header.end(), t.columnLabels.begin(), t.columnLabels.end());
    return header;
}

Cells rowLine(const StatTable& t, uint32_t r) {
    Cells cells;
    if (!t.rowLabels.empty()) cells.push_back(r < t.rowLabels.size() ? t.rowLabels[r] : "");
    Cells body = t.rowCells(r);
    cells.insert(cells.end(), std::make_move_iterator(body.begin()),
                 std::make_move_iterator(body.end()));
    return cells;
}

std::string tsvField(std::string s) {
    // A tab or line break inside a cell would shift every later column.
    std::replace_if(
        s.begin(), s.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return s;
}

std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string quoted = "\"";
    for (char c : s) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

void writeSeparated(const Cells& cells, TableFormat format, std::ostream& out) {
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) out << (format == TableFormat::Csv ? ',' : '\t');
        out << (format == TableFormat::Csv ? csvField(cells[i]) : tsvField(cells[i]));
    }
    out << (format == TableFormat::Csv ? "\r\n" : "\n");
}

// Right-aligned columns two spaces apart. Rows are made twice (widths first)
// rather than kept, so a large matrix does not sit in memory as text.
void writeAligned(const StatTable& t, std::ostream& out) {
    std::vector<size_t> widths;
    auto widen = [&](const Cells& cells) {
        if (widths.size() < cells.size()) widths.resize(cells.size(), 0);
        for (size_t i = 0; i < cells.size(); ++i) widths[i] = std::max(widths[i], cells[i].size());
    };
    widen(headerLine(t));
    for (uint32_t r = 0; r < t.rowCount; ++r) widen(rowLine(t, r));

    auto write = [&](const Cells& cells) {
        std::string line;
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i) line += "  ";
            line.append(widths[i] - cells[i].size(), ' ');
            line += cells[i];
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << "\n";
    };
    write(headerLine(t));
    for (uint32_t r = 0; r < t.rowCount; ++r) write(rowLine(t, r));
}

} // namespace

std::optional<TableFormat> parseTableFormat(const std::string& name) {
    if (name == "text") return TableFormat::Text;
    if (name == "tsv") return TableFormat::Tsv;
    if (name == "csv") return TableFormat::Csv;
    return std::nullopt;
}

void writeTable(const StatTable& table, TableFormat format, std::ostream& out) {
    if (format == TableFormat::Text) {
        writeAligned(table, out);
        return;
    }
    writeSeparated(headerLine(table), format, out);
    for (uint32_t r = 0; r < table.rowCount; ++r) writeSeparated(rowLine(table, r), format, out);
}

std::string separatedText(const std::vector<std::vector<std::string>>& lines, TableFormat format) {
    const TableFormat f = format == TableFormat::Text ? TableFormat::Tsv : format;
    std::ostringstream out;
    for (const auto& cells : lines) writeSeparated(cells, f, out);
    return out.str();
}
