#include "dialogs/check_dlg.h"

#include "model/check_lines.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBlock>

Check_Dlg::Check_Dlg(QWidget* parent, const TTrace* trace) : QDialog(parent), trace_(trace) {
    setModal(true);
    setWindowTitle(tr("Checking"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(6);

    auto* tabs = new QTabWidget(this);
    grid->addWidget(tabs, 0, 0, 1, 2);

    auto* start = new QPushButton(tr("Start"), this);
    start->setObjectName("start");
    start->setFixedHeight(32);
    grid->addWidget(start, 1, 0);
    auto* done = new QPushButton(tr("Done"), this);
    done->setObjectName("done");
    done->setFixedHeight(32);
    grid->addWidget(done, 1, 1);

    auto* tab1 = new QWidget(tabs);
    tab1->setObjectName("tab1");
    auto* tab1Grid = new QGridLayout(tab1);
    tab1Grid->setContentsMargins(0, 0, 0, 0);
    output_ = new QPlainTextEdit(tab1);
    output_->setObjectName("output");
    output_->setMinimumSize(400, 200);
    output_->setReadOnly(true);
    tab1Grid->addWidget(output_, 0, 0);
    output_->viewport()->installEventFilter(this);
    tabs->addTab(tab1, tr("Checking"));

    auto* tab2 = new QWidget(tabs);
    tab2->setObjectName("tab2");
    auto* tab2Grid = new QGridLayout(tab2);
    tab2Grid->setContentsMargins(0, 0, 0, 0);
    auto* gb = new QGroupBox(tr("Check for"), tab2);
    gb->setObjectName("gb");
    tab2Grid->addWidget(gb, 0, 0);
    tabs->addTab(tab2, tr("Config"));

    // Placed by fixed geometry inside the group box, not by a layout.
    auto makeBox = [gb](const char* name, const QString& text, int y) {
        auto* box = new QCheckBox(text, gb);
        box->setObjectName(name);
        box->setGeometry(10, y, 170, 15);
        box->setChecked(true);
        return box;
    };
    cb_term = makeBox("cb_term", tr("Abnormal termination"), 20);
    cb_comm = makeBox("cb_comm", tr("Communicators"), 35);
    cb_srpr = makeBox("cb_srpr", tr("send/recv"), 50);

    tabs->setCurrentIndex(0);
    connect(start, &QPushButton::clicked, this, &Check_Dlg::checking);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
}

void Check_Dlg::checking() {
    output_->clear();
    if (!trace_) return;
    const CheckSelection selection{cb_term->isChecked(), cb_comm->isChecked(),
                                   cb_srpr->isChecked()};
    const CheckReport report = runChecks(*trace_, selection);
    // One block of text rather than a widget update per line.
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(report.lines.size()));
    for (const std::string& line : report.lines) lines << QString::fromStdString(line);
    output_->setPlainText(lines.join('\n'));
}

void Check_Dlg::openLine(int lineNumber) {
    const QTextBlock block = output_->document()->findBlockByNumber(lineNumber);
    if (!block.isValid()) return;
    const std::optional<CheckLineTarget> t = checkLineTarget(block.text().toStdString());
    if (!t) return;
    target_ = Target{t->rank, t->lastCall};
    accept();
}

bool Check_Dlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == output_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        openLine(output_->cursorForPosition(at).blockNumber());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
