#include "win/operations/uListDrag.h"

namespace tarnel::win {

void TListDrag::Begin(HWND owner, HWND source) {
    owner_ = owner;
    source_ = source;
    ::SetCapture(owner_);
}

HWND TListDrag::ListAt(POINT screen) const {
    HWND under = ::WindowFromPoint(screen);
    for (HWND list : Lists)
        if (list && (under == list || ::IsChild(list, under))) return list;
    return nullptr;
}

void TListDrag::End() {
    HWND owner = owner_;
    owner_ = source_ = nullptr;
    if (owner && ::GetCapture() == owner) ::ReleaseCapture();
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
}

void TListDrag::Cancel() { End(); }

bool TListDrag::MouseMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (!Active()) return false;
    POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    switch (msg) {
        case WM_MOUSEMOVE: {
            ::ClientToScreen(owner_, &at);
            HWND target = ListAt(at);
            const bool takes = target && Accepts && Accepts(target, source_);
            ::SetCursor(::LoadCursorW(nullptr, takes ? IDC_ARROW : IDC_NO));
            return true;
        }
        case WM_LBUTTONUP: {
            ::ClientToScreen(owner_, &at);
            HWND target = ListAt(at), source = source_;
            // The drag is over before the drop runs, so that a question the
            // operation asks is not shown inside it.
            End();
            if (target && Accepts && Accepts(target, source) && Drop) Drop(target, source);
            return true;
        }
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lp) != owner_) {
                owner_ = source_ = nullptr;
                ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
            }
            return true;
        case WM_KEYDOWN:
            if (wp == VK_ESCAPE) {
                End();
                return true;
            }
            return false;
        default: return false;
    }
}

}  // namespace tarnel::win
