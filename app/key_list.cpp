#include "app/key_list.h"

#include <QCoreApplication>

namespace {

struct Binding {
    const char* keys;
    const char* what;
};

// Kept in step with the README's window section.
constexpr Binding kBindings[] = {
    {"Ctrl+O / Ctrl+X", "open / close a trace"},
    {"Ctrl+Q", "quit"},
    {"= / - / 1", "zoom in / zoom out / zoom to fit"},
    {"Left / Right", "scroll in time by one step"},
    {"Up / Down", "scroll the rows"},
    {"Ctrl+N / Ctrl+R", "sort the rows by node / by rank"},
    {"Ctrl+Shift+E / N / P", "filter events / nodes / processes"},
    {"Ctrl+L", "show or hide the message links"},
    {"Ctrl+Shift+R", "statistics: nodes and ranks"},
    {"Ctrl+P / Ctrl+S / Ctrl+Z / Ctrl+C", "statistics: process, send-recv, data size, counters"},
    {"Ctrl+H", "consistency check"},
    {"Ctrl+F", "find a call; F3 / Shift+F3: next / previous match"},
    {"Ctrl+G", "go to a time (µs, ms or s)"},
    {"Enter / Escape", "zoom to the range (or open the selected call) / clear range and selection"},
    {"Alt+Left / Alt+Right", "back / forward in the zoom history"},
    {"F1", "this list"},
    {"Wheel or Ctrl+wheel; Shift+wheel", "zoom about the pointer; scroll in time"},
    {"Wheel over the node/rank column", "scroll the rows"},
    {"Click on a call", "select it: the details panel shows it"},
    {"Double-click", "on a call: its information box; elsewhere: zoom to the range"},
    {"Drag; Shift+drag or drag on the ruler", "pan; select a time range"},
    {"Hover over a call", "tool tip with every field of the call"},
    {"Click on a table's header; Ctrl+C", "sort by the column; copy the selected cells"},
    {"Double-click a linked call, a wait or a check line", "go to that call or process"},
};

} // namespace

QString keyListHtml() {
    QString html = "<table>";
    for (const Binding& b : kBindings)
        html += QString("<tr><td><b>%1</b></td><td>&nbsp;%2</td></tr>")
                    .arg(QString::fromUtf8(b.keys),
                         QCoreApplication::translate("KeyList", b.what).toHtmlEscaped());
    return html + "</table>";
}
