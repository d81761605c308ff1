#pragma once
// EventExpl: the large canvas of the main window. One row per shown process,
// every call in the visible time window as a bar in its function's colour,
// optionally the send-to-receive links; a left press on a bar reports the call.
// With the mouse: the wheel zooms about the pointer (Shift: scrolls in time),
// a drag pans in time and rows, a Shift-drag selects a time range, a
// double-click opens the call (or zooms to the range), the back and forward
// buttons walk the zoom history.

#include "model/trace_model.h"
#include "ui/paint_cache.h"
#include "ui/shared_view_state.h"
#include "view/color_palette.h"
#include "view/view_state.h"

#include <QPoint>
#include <QWidget>

#include <functional>
#include <memory>

class TimeIndex;
class TTrace;
class ViewFilter;
struct RowLayout;
struct TimeWindow;

class EventExpl : public QWidget {
    Q_OBJECT
  public:
    explicit EventExpl(QWidget* parent = nullptr);
    ~EventExpl() override;

    // Non-owning; read only while open. Without an index the view makes one
    // for the trace.
    void setData(TTrace* trace, ViewFilter* filter, TimeIndex* index = nullptr);
    // The state to show and navigate, shared with the window's other views
    // (not owned); until then the view keeps one of its own.
    void setViewState(SharedViewState* state);
    SharedViewState* viewState() const { return state_.get(); }

    int offset() const;
    int pos() const;
    double zoom() const;
    bool isOpen() const { return open_; }
    TTrace* trace() const { return trace_; }
    // The call under a point, with the press's hit test; none while closed.
    std::optional<CallSelection> callAt(QPoint at);

    // Drawn over the calls and under the range band while a trace is open;
    // an empty one draws nothing. Repaints.
    using Overlay = std::function<void(QPainter&, const TimeWindow&, const RowLayout&)>;
    void setOverlay(Overlay overlay);

  public slots:
    void setOpen(bool open);
    void setPos(int pos);
    void setOffset(int offset);
    void setZoom(double zoom);
    // Draws now when updates are enabled; otherwise nothing.
    void Update();

  signals:
    void signalShowTxt(unsigned position, TFunc* call);
    // A double-click on a call: show its information.
    void signalOpenCall(unsigned position, TFunc* call);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    bool readable() const { return open_ && trace_ && filter_; }
    ViewState& state() const { return state_.state(); }
    // The range band and the selected call's outline, over the picture.
    void paintMarks(QPainter& painter);

    bool open_ = false;
    ColorPalette palette_;
    // Measures and memory kept between paints.
    PaintCache paintCache_;
    TTrace* trace_ = nullptr;
    ViewFilter* filter_ = nullptr;
    TimeIndex* index_ = nullptr;
    std::unique_ptr<TimeIndex> ownIndex_;
    Overlay overlay_;
    ViewStateHold state_;

    // A drag in progress.
    enum class Drag { None, Pending, Pan, Range };
    Drag drag_ = Drag::None;
    QPoint pressedAt_;
    ViewTime grabbed_ = 0; // the time under the press
    int pressedPos_ = 0;   // the vertical position at the press
    int64_t rangeFrom_ = 0;
};
