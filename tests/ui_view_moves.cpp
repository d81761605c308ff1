#include "tests/ui_view_moves.h"

#include "app/main_frame.h"
#include "ui/event_expl.h"
#include "ui/shared_view_state.h"

void selectRangeIn(MainFrame& frame, int64_t a, int64_t b) {
    frame.view()->viewState()->selectRange(a, b);
}

std::pair<int64_t, int64_t> visibleMicros(MainFrame& frame) {
    const ViewState& s = frame.view()->viewState()->state();
    return {s.startMicros(), s.microsAt(frame.findChild<EventExpl*>("eventview")->width())};
}
