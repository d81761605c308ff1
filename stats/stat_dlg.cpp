#include "stats/stat_dlg.h"

#include "model/stat_tables.h"
#include "model/table_output.h"
#include "stats/stat_table_model.h"

#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStandardItemModel>
#include <QStyle>
#include <QTableView>

#include <algorithm>
#include <climits>
#include <fstream>

namespace {

bool isMatrix(int kind) {
    const StatKindInfo* info = statKindInfo(kind);
    return info && info->matrix;
}

// Which axis sends, what a cell holds, and the colour scale with its ends.
QString heatLegend(uint64_t most, TrafficWeight weight) {
    const QString unit =
        weight == TrafficWeight::Bytes ? Stat_Dlg::tr("bytes") : Stat_Dlg::tr("messages");
    QString scale;
    for (int i = 0; i <= 8; ++i)
        scale += QString("<td bgcolor=\"%1\">&nbsp;&nbsp;&nbsp;</td>")
                     .arg(StatTableModel::heatColour(i / 8.0).name());
    return Stat_Dlg::tr("Rows send, columns receive: a cell is sent/received, the %1 that the "
                        "row's rank sent to the column's rank / received from it. Colour by "
                        "sent:")
               .arg(unit) +
           QString("<table cellspacing=\"0\"><tr><td>0&nbsp;</td>%1<td>&nbsp;%2</td></tr></table>")
               .arg(scale)
               .arg(most);
}

} // namespace

Stat_Dlg::Stat_Dlg(QWidget* parent, int kind, const TTrace* trace,
                   const std::optional<StatRanges>& ranges)
    : QDialog(parent), trace_(trace), kind_(kind), ranges_(ranges) {
    setModal(true);
    const bool matrix = isMatrix(kind);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->setSpacing(2);
    const int tableRow = matrix ? 1 : 0;
    if (matrix) {
        sections_ = new QComboBox(this);
        sections_->setObjectName("sections");
        sections_->setEditable(false);
        if (trace_)
            for (const SectionItem& item : sectionItems(*trace_))
                sections_->addItem(QString::fromStdString(item.name), QVariant::fromValue(item.id));
        grid->addWidget(sections_, 0, 0, 1, 2);
        connect(sections_, &QComboBox::activated, this, &Stat_Dlg::chgSect3);
    }
    setMinimumWidth(170);

    auto* done = new QPushButton(tr("Done"), this);
    done->setObjectName("done");
    done->setFixedSize(75, 32);
    grid->addWidget(done, tableRow + 1, 0, 1, 2);

    table_ = new QTableView(this);
    table_->setObjectName("table");
    table_->setMinimumSize(162, 100);
    model_ = new StatTableModel(table_);
    table_->setModel(model_);
    if (!matrix) table_->verticalHeader()->hide();
    grid->addWidget(table_, tableRow, 0, 1, 2);
    grid->setRowStretch(tableRow, 2);
    // No order until a header is clicked: the table opens as computed.
    table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table_->setSortingEnabled(true);
    auto* copy = new QShortcut(QKeySequence::Copy, table_);
    copy->setContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QShortcut::activated, this, &Stat_Dlg::copySelection);

    // Under the table and Done: the matrices' legend, the choice of range
    // and the export button.
    auto* extras = new QHBoxLayout;
    if (matrix) {
        legend_ = new QLabel(this);
        legend_->setObjectName("legend");
        legend_->setWordWrap(true);
        extras->addWidget(legend_, 1);
    } else {
        extras->addStretch(1);
    }
    const StatKindInfo* info = statKindInfo(kind);
    if (ranges && info && info->takesRange) extras->addWidget(makeRangeChoice(*ranges));
    auto* exporter = new QPushButton(tr("Export…"), this);
    exporter->setObjectName("export");
    extras->addWidget(exporter);
    grid->addLayout(extras, tableRow + 2, 0, 1, 2);

    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    connect(exporter, &QPushButton::clicked, this, &Stat_Dlg::exportAs);

    if (info) {
        fill();
        setWindowTitle(QCoreApplication::translate("Stat_Dlg", info->caption));
        fitToContents();
    }
}

Stat_Dlg::~Stat_Dlg() = default;

QComboBox* Stat_Dlg::makeRangeChoice(const StatRanges& ranges) {
    rangeChoice_ = new QComboBox(this);
    rangeChoice_->setObjectName("range");
    rangeChoice_->addItems({tr("Whole run"), tr("Visible range"), tr("Selected range")});
    if (!ranges.selected)
        if (auto* items = qobject_cast<QStandardItemModel*>(rangeChoice_->model()))
            items->item(2)->setEnabled(false);
    connect(rangeChoice_, &QComboBox::activated, this, &Stat_Dlg::chooseRange);
    return rangeChoice_;
}

void Stat_Dlg::fill() {
    const StatKindInfo* info = statKindInfo(kind_);
    if (!trace_ || !info) return;
    // The matrices' labels are rank numbers; the other labels are texts.
    model_->setTable(info->table(*trace_, section_, range_), !info->matrix);
    const QHeaderView* header = table_->horizontalHeader();
    model_->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
    if (!legend_ || !info->matrix) return;
    const TrafficWeight weight = *info->matrix;
    uint64_t most = 0;
    forEachTrafficRow(
        *trace_, weight, section_,
        [&](uint32_t, std::span<const TrafficCell> cells) {
            for (const TrafficCell& c : cells) most = std::max(most, c.sent);
        },
        range_);
    model_->setHeatMaximum(static_cast<double>(most));
    legend_->setText(heatLegend(most, weight));
}

void Stat_Dlg::chgSect3(int item) {
    if (!isMatrix(kind_) || !sections_ || item < 0 || item >= sections_->count()) return;
    section_ = sections_->itemData(item).toUInt();
    fill();
}

void Stat_Dlg::chooseRange(int item) {
    if (!rangeChoice_ || !ranges_) return;
    switch (item) {
    case 0:
        range_.reset();
        break;
    case 1:
        range_ = ranges_->visible;
        break;
    case 2:
        if (!ranges_->selected) return; // a disabled item chosen by other means
        range_ = ranges_->selected;
        break;
    default:
        return;
    }
    fill();
}

void Stat_Dlg::fitToContents() {
    // Columns fitted to a sample of rows, so a matrix of thousands of ranks
    // does not make every row to measure it.
    QHeaderView* header = table_->horizontalHeader();
    const int columns = std::max(1, model_->columnCount());
    header->setResizeContentsPrecision(std::clamp(20000 / columns, 10, 1000));
    table_->resizeColumnsToContents();
    const QHeaderView* rows = table_->verticalHeader();
    const int frame = 2 * table_->frameWidth();
    const int bar = table_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int width =
        (rows->isHidden() ? 0 : rows->sizeHint().width()) + header->length() + frame + bar + 8;
    const int height = header->sizeHint().height() + rows->length() + frame + bar;
    const QRect screen =
        this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    const QSize extra = sizeHint() - table_->sizeHint();
    resize(std::min(width + extra.width(), screen.width() * 9 / 10),
           std::min(height + extra.height(), screen.height() * 8 / 10));
}

QString Stat_Dlg::selectionText() const {
    const QModelIndexList chosen = table_->selectionModel()->selectedIndexes();
    if (chosen.isEmpty()) return {};
    int top = INT_MAX, left = INT_MAX, bottom = -1, right = -1;
    for (const QModelIndex& i : chosen) {
        top = std::min(top, i.row());
        bottom = std::max(bottom, i.row());
        left = std::min(left, i.column());
        right = std::max(right, i.column());
    }
    std::vector<std::vector<std::string>> lines(
        static_cast<size_t>(bottom - top + 1),
        std::vector<std::string>(static_cast<size_t>(right - left + 1)));
    for (const QModelIndex& i : chosen)
        lines[static_cast<size_t>(i.row() - top)][static_cast<size_t>(i.column() - left)] =
            model_->cellText(i.row(), i.column()).toStdString();
    return QString::fromStdString(separatedText(lines, TableFormat::Tsv));
}

void Stat_Dlg::copySelection() const {
    const QString text = selectionText();
    if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
}

bool Stat_Dlg::exportCsv(const QString& path) const {
    std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary);
    if (!out) return false;
    writeTable(model_->table(), TableFormat::Csv, out);
    return static_cast<bool>(out.flush());
}

void Stat_Dlg::exportAs() {
    const QString path = QFileDialog::getSaveFileName(this, tr("Export table"), QString(),
                                                      tr("CSV files (*.csv);;All Files (*)"));
    if (path.isEmpty()) return;
    if (!exportCsv(path))
        QMessageBox::warning(this, tr("Export table"), tr("Cannot write %1").arg(path));
}
