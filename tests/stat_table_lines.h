#pragma once
// A statistics dialog's table as the lines `zlv stats --format tsv` prints,
// so that a dialog and the tool are compared line for line.

#include <QAbstractItemModel>
#include <QStringList>

#include <string>

// Header and rows of the model as shown; a matrix's lines lead with their
// row label, its header line with an empty cell.
inline QStringList tableLines(const QAbstractItemModel* m, bool matrix) {
    QStringList lines, labels;
    if (matrix) labels << QString();
    for (int c = 0; c < m->columnCount(); ++c)
        labels << m->headerData(c, Qt::Horizontal).toString();
    lines << labels.join('\t');
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        if (matrix) cells << m->headerData(r, Qt::Vertical).toString();
        for (int c = 0; c < m->columnCount(); ++c) cells << m->index(r, c).data().toString();
        lines << cells.join('\t');
    }
    return lines;
}

// The tool's output as lines, without the newline that ends the last.
inline QStringList tsvLines(const std::string& text) {
    QStringList lines = QString::fromStdString(text).split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
}
