#include "dialogs/palette_dlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>

namespace {

constexpr int kRowPitch = 21;
const QColor kLegendGrey(200, 200, 200);

void setBackground(QWidget* w, const QColor& c) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, c);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

} // namespace

Palette_Dlg::Palette_Dlg(QWidget* parent) : QDialog(parent) {
    setModal(true);
    setWindowTitle("Color palette");
    setFixedWidth(190);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->setSpacing(2);
    grid->setRowStretch(0, 2);

    auto* done = new QPushButton(tr("Done"), this);
    done->setFixedSize(80, 32);
    grid->addWidget(done, 1, 0);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setFixedSize(80, 32);
    grid->addWidget(cancel, 1, 1);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    scroll_ = new QScrollArea(this);
    scroll_->setMinimumHeight(100);
    scroll_->setFixedWidth(172);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setBackground(scroll_->viewport(), kLegendGrey);
    grid->addWidget(scroll_, 0, 0, 1, 2);

    // The rows are the scrolled contents, so that they move with the scroll
    // bar; the contents are as wide as the rows need.
    const int count = static_cast<int>(palette_.entryCount());
    auto* rows = new QWidget;
    rows->resize(2 + 125 + 20, kRowPitch * count + 4);
    setBackground(rows, kLegendGrey);
    for (int i = 0; i < count; ++i) {
        const int y = 2 + kRowPitch * i;
        const uint32_t id = palette_.idAt(static_cast<uint32_t>(i));
        auto* label = new QLabel(QString::fromStdString(names_.funcName(id)), rows);
        label->setGeometry(2, y, 125, 20);
        const TColour c = palette_.colourOf(id);
        auto* swatch = new QPushButton(rows);
        swatch->setGeometry(127, y, 20, 20);
        swatch->setFocusPolicy(Qt::NoFocus);
        swatch->setStyleSheet(
            QString("QPushButton { background-color: rgb(%1, %2, %3); border: 1px solid black; }")
                .arg(c.r)
                .arg(c.g)
                .arg(c.b));
    }
    scroll_->setWidget(rows);
}
