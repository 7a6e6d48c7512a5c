// Dragging rows from one codec list onto the other. The drag carries no
// data: a drop works on the source list's selection as it is when the drop
// happens. While the mouse moves the window that started the drag holds
// the mouse; whether the list under the pointer takes the drag is asked of
// the window (the core's rule), and the pointer says so.
#pragma once

#include <functional>

#include "win/shell/WinCommon.h"

namespace tarnel::win {

class TListDrag {
public:
    // Whether `target` takes a drag from `source`; the drop itself.
    std::function<bool(HWND target, HWND source)> Accepts;
    std::function<void(HWND target, HWND source)> Drop;
    // The lists a drag can end on.
    HWND Lists[2] = {nullptr, nullptr};

    // Starts dragging `source`'s rows; `owner` holds the mouse meanwhile.
    void Begin(HWND owner, HWND source);
    bool Active() const { return source_ != nullptr; }
    HWND Source() const { return source_; }
    // The list under a point of the screen, or null.
    HWND ListAt(POINT screen) const;

    // The owner's mouse messages while dragging; true when handled.
    bool MouseMessage(UINT msg, WPARAM wp, LPARAM lp);
    // Ends the drag without a drop.
    void Cancel();

private:
    void End();
    HWND owner_ = nullptr, source_ = nullptr;
};

}  // namespace tarnel::win
