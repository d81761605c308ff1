#include "stats/stat_dlg.h"

#include "model/stat_tables.h"
#include "stats/stat_table_model.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

namespace {

bool knownKind(int kind) {
    return kind >= 1 && kind <= 5;
}

bool isMatrix(int kind) {
    return knownKind(kind) && hasSectionSelector(static_cast<StatKind>(kind));
}

} // namespace

Stat_Dlg::Stat_Dlg(QWidget* parent, int kind, const TTrace* trace)
    : QDialog(parent), trace_(trace), kind_(kind) {
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

    connect(done, &QPushButton::clicked, this, &QDialog::accept);

    if (knownKind(kind)) {
        fill(0);
        setWindowTitle(
            QCoreApplication::translate("Stat_Dlg", statCaption(static_cast<StatKind>(kind))));
    }
}

Stat_Dlg::~Stat_Dlg() = default;

void Stat_Dlg::fill(uint32_t section) {
    if (!trace_ || !knownKind(kind_)) return;
    const auto kind = static_cast<StatKind>(kind_);
    // The matrices' labels are rank numbers; the other labels are texts.
    model_->setTable(statTable(*trace_, kind, section), !hasSectionSelector(kind));
}

void Stat_Dlg::chgSect3(int item) {
    if (!isMatrix(kind_) || !sections_ || item < 0 || item >= sections_->count()) return;
    fill(sections_->itemData(item).toUInt());
}
