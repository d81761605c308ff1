#pragma once
// EventExpl: the large canvas of the main window. One row per shown process,
// every call in the visible time window as a bar in its function's colour,
// optionally the send-to-receive links; a left press on a bar reports the call.

#include "model/trace_model.h"
#include "ui/call_hit.h"
#include "ui/color_palette.h"
#include "ui/paint_cache.h"

#include <QWidget>

#include <optional>

class TTrace;
class ViewFilter;

class EventExpl : public QWidget {
    Q_OBJECT
  public:
    explicit EventExpl(QWidget* parent = nullptr);
    ~EventExpl() override;

    // Non-owning; read only while open.
    void setData(TTrace* trace, ViewFilter* filter);

    int offset() const { return offset_; }
    int pos() const { return pos_; }
    double zoom() const { return zoom_; }
    bool isOpen() const { return open_; }
    TTrace* trace() const { return trace_; }
    ViewFilter* filter() const { return filter_; }
    // The call under a point of the view, as a left press would find it.
    std::optional<CallHit> callAt(QPoint at) const;

  public slots:
    void setOpen(bool open);
    void setPos(int pos);
    void setOffset(int offset);
    void setZoom(double zoom);
    // Draws now when updates are enabled; otherwise nothing.
    void Update();

  signals:
    void signalShowTxt(unsigned position, TFunc* call);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    bool readable() const { return open_ && trace_ && filter_; }

    int offset_ = 0;
    int pos_ = 0;
    bool open_ = false;
    double zoom_ = 1.0;
    ColorPalette palette_;
    // Prefix maxima of end times and link ends; rebuilt after open and close.
    PaintCache paintCache_;
    TTrace* trace_ = nullptr;
    ViewFilter* filter_ = nullptr;
};
