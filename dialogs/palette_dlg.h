#pragma once
// Palette_Dlg: the modal colour legend. One row per palette entry: the
// function's name and a swatch of its colour.

#include "appdb/func_names.h"
#include "view/color_palette.h"

#include <QDialog>

class QScrollArea;

class Palette_Dlg : public QDialog {
    Q_OBJECT
  public:
    explicit Palette_Dlg(QWidget* parent = nullptr);

    QScrollArea* rowsView() const { return scroll_; }

  private:
    ColorPalette palette_;
    TFuncNames names_;
    QScrollArea* scroll_ = nullptr;
};
