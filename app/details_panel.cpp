#include "app/details_panel.h"

#include "appdb/func_names.h"
#include "model/trace_document.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPushButton* button(const QString& text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setEnabled(false);
    return b;
}

} // namespace

DetailsPanel::DetailsPanel(QWidget* parent) : QWidget(parent) {
    setObjectName("details");
    auto* column = new QVBoxLayout(this);
    empty_ = new QLabel(tr("No call selected. Click a call in the view."), this);
    empty_->setWordWrap(true);
    column->addWidget(empty_);
    form_ = new QFormLayout;
    for (const std::string& label : callDetailLabels()) {
        auto* value = new QLabel(this);
        value->setObjectName(QString::fromStdString("detail_" + label));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form_->addRow(tr(label.c_str()) + ":", value);
        values_.push_back(value);
        labels_.push_back(QString::fromStdString(label));
    }
    column->addLayout(form_);
    column->addWidget(new QLabel(tr("Linked calls:"), this));
    partners_ = new QListWidget(this);
    partners_->setObjectName("partners");
    partners_->setMaximumHeight(90);
    column->addWidget(partners_);
    partner_ = button(tr("Go to partner"), "goPartner", this);
    previous_ = button(tr("< Previous call"), "previousCall", this);
    next_ = button(tr("Next call >"), "nextCall", this);
    column->addWidget(partner_);
    auto* steps = new QHBoxLayout;
    steps->addWidget(previous_);
    steps->addWidget(next_);
    column->addLayout(steps);
    column->addStretch();

    connect(partner_, &QPushButton::clicked, this, &DetailsPanel::goToPartner);
    connect(partners_, &QListWidget::itemDoubleClicked, this, &DetailsPanel::goToPartner);
    connect(previous_, &QPushButton::clicked, this, [this] {
        if (previousRef_) emit goTo(*previousRef_);
    });
    connect(next_, &QPushButton::clicked, this, [this] {
        if (nextRef_) emit goTo(*nextRef_);
    });
    showCall(nullptr, std::nullopt, 0);
}

void DetailsPanel::showCall(const TTrace* trace, std::optional<CallRef> call, int64_t origin) {
    partners_->clear();
    partnerRefs_.clear();
    previousRef_.reset();
    nextRef_.reset();
    const TProcess* p = trace && call ? trace->processAt(call->position) : nullptr;
    const bool shown = p && call->index < p->calls.size();
    empty_->setVisible(!shown);
    if (!shown) {
        for (QLabel* value : values_) value->clear();
    } else {
        const CallDetails d =
            callDetails(*trace, call->position, p->calls[call->index], true, origin);
        for (size_t i = 0; i < values_.size(); ++i)
            values_[i]->setText(i < d.fields.size() ? QString::fromStdString(d.fields[i].value)
                                                    : QString());
        const TFuncNames names;
        for (const LinkPartner& partner : d.partners) {
            const QString function =
                QString::fromStdString(names.funcName(partner.call->baseFuncId()));
            partners_->addItem((partner.toReceive ? tr("to rank %1: %2") : tr("from rank %1: %2"))
                                   .arg(partner.rank)
                                   .arg(function));
            partnerRefs_.push_back(
                {partner.position, callIndexIn(*trace, partner.position, *partner.call)});
        }
        if (call->index > 0) previousRef_ = CallRef{call->position, call->index - 1};
        if (call->index + 1 < p->calls.size()) nextRef_ = CallRef{call->position, call->index + 1};
    }
    partner_->setEnabled(!partnerRefs_.empty());
    previous_->setEnabled(previousRef_.has_value());
    next_->setEnabled(nextRef_.has_value());
}

QString DetailsPanel::field(const QString& label) const {
    for (size_t i = 0; i < values_.size(); ++i)
        if (label == labels_[i]) return values_[i]->text();
    return {};
}

void DetailsPanel::goToPartner() {
    if (partnerRefs_.empty()) return;
    const int row = partners_->currentRow();
    emit goTo(partnerRefs_[row >= 0 && static_cast<size_t>(row) < partnerRefs_.size()
                               ? static_cast<size_t>(row)
                               : 0]);
}
