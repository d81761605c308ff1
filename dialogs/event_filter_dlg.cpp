#include "dialogs/event_filter_dlg.h"

#include "appdb/func_names.h"
#include "model/call_search.h"
#include "view/color_palette.h"
#include "view/view_filter.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

QIcon swatch(TColour c) {
    QPixmap pixmap(14, 14);
    pixmap.fill(QColor(c.r, c.g, c.b));
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, 13, 13);
    return QIcon(pixmap);
}

QPushButton* button(const QString& text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

} // namespace

EventFilter_Dlg::EventFilter_Dlg(QWidget* parent, const std::vector<uint32_t>& ids,
                                 const ViewFilter& filter)
    : QDialog(parent), ids_(ids) {
    setModal(true);
    setWindowTitle(tr("Event filter"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->setRowStretch(0, 2);

    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("boxes");
    scroll->setMinimumSize(200, 100);
    scroll->setWidgetResizable(true);
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    const ColorPalette palette;
    const TFuncNames names;
    for (uint32_t id : ids_) {
        const std::string& name = names.funcName(id);
        const QString text =
            name == "Unknown" ? tr("Function %1").arg(id) : QString::fromStdString(name);
        auto* box = new QCheckBox(text, content);
        box->setIcon(swatch(palette.colourOf(id)));
        box->setChecked(filter.funcVisible(id));
        column->addWidget(box);
        boxes_.push_back(box);
    }
    column->addStretch();
    scroll->setWidget(content);
    grid->addWidget(scroll, 0, 0, 1, 4);

    QPushButton* all = button(tr("All"), "all", this);
    QPushButton* none = button(tr("None"), "none", this);
    QPushButton* done = button(tr("Done"), "done", this);
    QPushButton* cancel = button(tr("Cancel"), "cancel", this);
    grid->addWidget(all, 1, 0);
    grid->addWidget(none, 1, 1);
    grid->addWidget(done, 1, 2);
    grid->addWidget(cancel, 1, 3);
    connect(all, &QPushButton::clicked, this, [this] { setAll(true); });
    connect(none, &QPushButton::clicked, this, [this] { setAll(false); });
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void EventFilter_Dlg::setAll(bool checked) {
    for (QCheckBox* box : boxes_) box->setChecked(checked);
}

void EventFilter_Dlg::applyTo(ViewFilter& filter) const {
    for (size_t i = 0; i < ids_.size(); ++i) filter.setFuncVisible(ids_[i], boxes_[i]->isChecked());
}

bool editFunctionFilter(QWidget* parent, const TTrace& trace, ViewFilter& filter) {
    EventFilter_Dlg dialog(parent, functionsPresent(trace), filter);
    if (dialog.exec() != QDialog::Accepted) return false;
    dialog.applyTo(filter);
    return true;
}
