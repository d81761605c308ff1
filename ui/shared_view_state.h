#pragma once
// SharedViewState: the window's one ViewState, with signals. The views and
// the scroll bars of a window share it; the slots of the views write it
// quietly (they redraw as they always did), while navigation by mouse and
// keys goes through the calls below, which tell every observer.

#include "view/navigation.h"
#include "view/view_state.h"

#include <QObject>
#include <QPoint>

#include <memory>
#include <optional>

// Wheel notches in a wheel event's angle (120 each), vertical or else
// horizontal (some systems turn Shift+wheel sideways).
inline double wheelNotches(QPoint angleDelta) {
    return (angleDelta.y() != 0 ? angleDelta.y() : angleDelta.x()) / 120.0;
}

class SharedViewState : public QObject {
    Q_OBJECT
  public:
    explicit SharedViewState(QObject* parent = nullptr) : QObject(parent) {}

    ViewState& state() { return state_; }
    const ViewState& state() const { return state_; }

    // The open trace's first and last display times; navigation does nothing
    // without them.
    void setBounds(int64_t start, int64_t end);
    void clearBounds() { bounded_ = false; }
    bool bounded() const { return bounded_; }
    NavigationLimits limits(int width) const { return {start_, end_, width}; }

    // --- navigation; `width` is the event explorer's
    // A wheel zoom by `notches` about pixel x; a run of them is one history step.
    void wheelZoomAt(double x, double notches, int width);
    // The time grabbed at a press kept under the mouse at pixel x.
    void panTo(ViewTime grabbed, double x, int width);
    // Zoom to the selected range (nothing without one).
    void zoomToRange(int width);
    void back();
    void forward();
    // A remembered place before a zoom by other means (the tool bar).
    void rememberZoom();
    void scrollRows(int pos);

    void select(std::optional<CallSelection> call);
    void selectRange(int64_t a, int64_t b);
    void clearRange();

  signals:
    // Zoom or left edge changed by navigation.
    void horizontalChanged();
    // The vertical position changed by navigation.
    void verticalChanged();
    void selectionChanged();
    void rangeSelected(qint64 start, qint64 end, qint64 length);
    void rangeCleared();

  private:
    void goTo(const Viewport& v);

    ViewState state_;
    bool bounded_ = false;
    int64_t start_ = 0, end_ = 0;
    bool wheeling_ = false; // the last navigation was a wheel zoom
};

// A view's hold on the state it shows: a state of its own until a window
// hands it the shared one.
class ViewStateHold {
  public:
    ViewStateHold() : own_(std::make_unique<SharedViewState>()), current_(own_.get()) {}

    SharedViewState* get() const { return current_; }
    SharedViewState* operator->() const { return current_; }
    ViewState& state() const { return current_->state(); }
    bool isOwn() const { return current_ == own_.get(); }
    // Switches to `shared`, dropping what `receiver` had connected to the last one.
    void use(SharedViewState* shared, QObject* receiver) {
        QObject::disconnect(current_, nullptr, receiver, nullptr);
        current_ = shared;
    }

  private:
    std::unique_ptr<SharedViewState> own_;
    SharedViewState* current_;
};
