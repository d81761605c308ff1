#include "dialogs/fltnr_dlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QPushButton>
#include <QScrollArea>

namespace {

constexpr int kRowPitch = 21;
constexpr int kBoxX = 2;
constexpr int kBoxWidth = 135;
constexpr int kBoxHeight = 20;

void paintBackground(QWidget* w, const QColor& colour) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

} // namespace

FltNR_Dlg::FltNR_Dlg(QWidget* parent, int n, const uint32_t* initial, const QString& title)
    : QDialog(parent), count_(n < 0 ? 0 : n), values_(static_cast<size_t>(count_), 0) {
    setModal(true);
    setWindowTitle(title + " filter");
    setFixedWidth(170);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->setRowStretch(0, 2);

    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("boxes");
    scroll->setFixedWidth(162);
    scroll->setMinimumHeight(100);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const QColor grey(200, 200, 200);
    paintBackground(scroll->viewport(), grey);
    grid->addWidget(scroll, 0, 0, 1, 2);

    // The content is as wide as a box, so that no box is clipped, and as high
    // as the rows, so that they scroll with it.
    auto* content = new QWidget;
    content->resize(kBoxX + kBoxWidth, kRowPitch * count_ + 4);
    boxes_.reserve(static_cast<size_t>(count_));
    for (int i = 0; i < count_; ++i) {
        auto* box = new QCheckBox(title + " " + QString::number(i), content);
        box->setGeometry(kBoxX, 2 + kRowPitch * i, kBoxWidth, kBoxHeight);
        box->setChecked(initial && initial[i] != 0);
        boxes_.push_back(box);
    }
    scroll->setWidget(content);
    paintBackground(content, grey);

    auto* done = new QPushButton(tr("Done"), this);
    done->setObjectName("done");
    done->setFixedSize(75, 32);
    grid->addWidget(done, 1, 0);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName("cancel");
    cancel->setFixedSize(75, 32);
    grid->addWidget(cancel, 1, 1);

    connect(done, &QPushButton::clicked, this, &FltNR_Dlg::slotAccept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void FltNR_Dlg::slotAccept() {
    for (size_t i = 0; i < boxes_.size(); ++i) values_[i] = boxes_[i]->isChecked() ? 1 : 0;
    accept();
}
