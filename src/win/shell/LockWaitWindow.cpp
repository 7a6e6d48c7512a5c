#include "win/shell/LockWaitWindow.h"

#include <memory>

#include "win/resource.h"

namespace tarnel::win {

TfLockWait::TfLockWait(HWND owner) : owner_(owner) {
    CreateModelessDialog(IDD_LOCKWAIT, owner, *this);
    AddModeless(Dialog);
    // Modal while it shows: the window it stands over takes no input, so no
    // second command starts inside the wait.
    if (owner_) ownerWasEnabled_ = !::EnableWindow(owner_, FALSE);
    ::ShowWindow(Dialog, SW_SHOW);
}

TfLockWait::~TfLockWait() {
    if (owner_ && ownerWasEnabled_) ::EnableWindow(owner_, TRUE);
    if (Dialog) {
        RemoveModeless(Dialog);
        ::DestroyWindow(Dialog);
    }
}

void TfLockWait::SetWait(const platform::TLockWait& wait) {
    ::SetDlgItemTextW(Dialog, IDC_WAITTEXT, ToW(platform::LockWaitText(wait)).c_str());
}

std::string TfLockWait::Text() const { return DlgItemText(Dialog, IDC_WAITTEXT); }

INT_PTR TfLockWait::HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG: {
            const UINT dpi = DpiOf(dialog);
            SetClientSize(dialog, Scale(457, dpi), Scale(130, dpi));
            FitDialogBand(dialog);
            ::MoveWindow(::GetDlgItem(dialog, IDC_WAITTEXT), Scale(12, dpi), Scale(55, dpi), Scale(433, dpi),
                         Scale(40, dpi), FALSE);
            ::MoveWindow(::GetDlgItem(dialog, IDCANCEL), Scale(457 - 112, dpi), Scale(130 - 31, dpi), Scale(100, dpi),
                         Scale(25, dpi), FALSE);
            CentreWindow(dialog, owner_);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wp) == IDCANCEL) {
                gaveUp_ = true;
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}

platform::TLockWaitHook LockWaitWindowHook() {
    auto shown = std::make_shared<std::unique_ptr<TfLockWait>>();
    return [shown](const platform::TLockWait& wait) {
        std::unique_ptr<TfLockWait>& window = *shown;
        if (wait.Phase == platform::TLockWait::Ends) {
            window.reset();
            return true;
        }
        if (!window) {
            HWND active = ::GetActiveWindow();
            window = std::make_unique<TfLockWait>(active ? ::GetAncestor(active, GA_ROOT) : nullptr);
        }
        window->SetWait(wait);
        // The short while passes with the windows painting and answering.
        const ULONGLONG until = ::GetTickCount64() + 50;
        for (ULONGLONG now = ::GetTickCount64(); now < until; now = ::GetTickCount64()) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(until - now), QS_ALLINPUT);
            if (!PumpMessages()) break;
        }
        return !window->GaveUp();
    };
}

}  // namespace tarnel::win
