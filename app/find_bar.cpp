#include "app/find_bar.h"

#include "appdb/func_names.h"
#include "model/time_text.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <limits>

namespace {

QLineEdit* field(const char* name, const QString& hint, int width, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setPlaceholderText(hint);
    edit->setMaximumWidth(width);
    return edit;
}

// An empty field is "any"; otherwise a whole number of its range.
template <class Int>
bool readNumber(const QLineEdit* edit, std::optional<Int>& out) {
    const QString text = edit->text().trimmed();
    if (text.isEmpty()) return true;
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < std::numeric_limits<Int>::min() || v > std::numeric_limits<Int>::max())
        return false;
    out = static_cast<Int>(v);
    return true;
}

} // namespace

FindBar::FindBar(QWidget* parent) : QWidget(parent) {
    setObjectName("findbar");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    function_ = new QComboBox(this);
    function_->setObjectName("function");
    rank_ = field("rank", tr("rank"), 60, this);
    minDuration_ = field("minDuration", tr("min. duration"), 110, this);
    tag_ = field("tag", tr("tag"), 60, this);
    peer_ = field("peer", tr("peer"), 60, this);
    time_ = field("time", tr("time: 12 ms"), 110, this);
    auto* previous = new QPushButton(tr("Previous"), this);
    auto* next = new QPushButton(tr("Next"), this);
    auto* go = new QPushButton(tr("Go to time"), this);
    auto* close = new QToolButton(this);
    close->setText("×");
    close->setToolTip(tr("Close the find bar"));
    for (QWidget* w : std::initializer_list<QWidget*>{new QLabel(tr("Find:"), this), function_,
                                                      rank_, minDuration_, tag_, peer_, previous,
                                                      next, time_, go, close})
        row->addWidget(w);
    row->addStretch();
    setFunctions({});

    connect(next, &QPushButton::clicked, this, &FindBar::next);
    connect(previous, &QPushButton::clicked, this, &FindBar::previous);
    for (QLineEdit* edit : {rank_, minDuration_, tag_, peer_})
        connect(edit, &QLineEdit::returnPressed, this, &FindBar::next);
    const auto goToTyped = [this] { emit goToTime(time_->text()); };
    connect(go, &QPushButton::clicked, this, goToTyped);
    connect(time_, &QLineEdit::returnPressed, this, goToTyped);
    connect(close, &QToolButton::clicked, this, &FindBar::closeRequested);
}

void FindBar::setFunctions(const std::vector<uint32_t>& ids) {
    function_->clear();
    function_->addItem(tr("any function"));
    const TFuncNames names;
    for (uint32_t id : ids) {
        const std::string& name = names.funcName(id);
        function_->addItem(name == "Unknown" ? tr("Function %1").arg(id)
                                             : QString::fromStdString(name),
                           QVariant::fromValue(id));
    }
}

std::optional<CallQuery> FindBar::query(QString& error) const {
    CallQuery q;
    if (function_->currentIndex() > 0) q.funcId = function_->currentData().toUInt();
    if (!readNumber(rank_, q.rank)) error = tr("Rank: not a rank number");
    if (!readNumber(tag_, q.tag)) error = tr("Tag: not a tag number");
    if (!readNumber(peer_, q.peer)) error = tr("Peer: not a peer number");
    if (const QString text = minDuration_->text().trimmed(); !text.isEmpty()) {
        const std::optional<int64_t> d = parseTimeText(text.toStdString());
        if (d)
            q.minDuration = *d;
        else
            error = tr("Minimum duration: not a time (12 us, 1.5 ms, 2 s)");
    }
    if (!error.isEmpty()) return std::nullopt;
    return q;
}

void FindBar::activate() {
    function_->setFocus();
}
