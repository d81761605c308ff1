#pragma once
// TimeLine: the time ruler below the event explorer. Ticks every scroll step,
// labelled in microseconds, milliseconds or seconds. Reads no trace data.
// With the mouse: a drag selects a time range, a double-click zooms to it,
// the wheel zooms about the pointer, the back and forward buttons walk the
// zoom history.

#include "ui/shared_view_state.h"
#include "view/view_state.h"

#include <QWidget>

#include <vector>

class QPainter;
struct RulerTick;

class TimeLine : public QWidget {
    Q_OBJECT
  public:
    explicit TimeLine(QWidget* parent = nullptr);

    // Shared with the window's other views (not owned); until then the ruler
    // keeps one of its own.
    void setViewState(SharedViewState* state);

    int offset() const;
    double zoom() const;
    bool isOpen() const { return open_; }
    // Labels for people: the unit as "µs", "ms" or "s", no label cut by the
    // left edge or crowding the one before. Off: the classic labels.
    void setReadableLabels(bool readable);
    bool readableLabels() const { return readable_; }

  public slots:
    void Update();
    void setTOffset(int offset);
    void setZoom(double zoom);
    void setOpen(bool open);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    ViewState& state() const { return state_.state(); }
    // The time under ruler pixel x: ticks sit one pixel right of the event
    // explorer's pixel for the same time.
    int64_t timeUnder(double x) const;

    void paintClassicLabels(QPainter& painter, const std::vector<RulerTick>& ticks);
    void paintReadableLabels(QPainter& painter, const std::vector<RulerTick>& ticks);

    bool open_ = false;
    bool readable_ = false;
    ViewStateHold state_;
    bool selecting_ = false;
    int64_t rangeFrom_ = 0;
};
