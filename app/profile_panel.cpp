#include "app/profile_panel.h"

#include "analysis/analysis_indexes.h"
#include "analysis/analysis_tables.h"
#include "app/analysis_table.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

ProfilePanel::ProfilePanel(QWidget* parent) : ScopedPanel("profilePanel", parent) {
    by_ = new QComboBox(this);
    by_->setObjectName("by");
    by_->addItems({tr("By function"), tr("By rank"), tr("By region")});
    table_ = new AnalysisTable("profile", this);

    QVBoxLayout* layout = layoutWith({by_});
    layout->addWidget(table_);

    connect(by_, &QComboBox::currentIndexChanged, this, &ProfilePanel::refresh);
    refresh();
}

void ProfilePanel::refresh() {
    const std::optional<AnalysisScope> s = scope();
    if (!s) return table_->clearTable();
    if (by_->currentIndex() == kByRegion)
        return table_->showTable(regionProfileTable(regionProfile(*trace_, *s, windowsFor(*s))));
    Profile p = profile(*trace_, *s, windowsFor(*s));
    table_->showTable(by_->currentIndex() == 1 ? profileByRankTable(std::move(p))
                                               : profileByFunctionTable(std::move(p)));
}
