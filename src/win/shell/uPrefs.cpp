#include "win/shell/uPrefs.h"

#include <algorithm>

#include "core/shell/ShellView.h"
#include "core/shell/uConst.h"
#include "win/resource.h"
#include "win/shell/uMain.h"

namespace tarnel::win {

namespace {

// A font set wider than the design's (Wine's stand-in for the dialog font
// is) would cut the texts off: each check box grows to its text, up to the
// font column, and the font column's fields move right of its longer label,
// keeping their right edges.
void FitTexts(HWND d, UINT dpi) {
    const int column = Scale(160 - 4, dpi);
    const int mark = Scale(13 + 6, dpi);  // the box and the gap before the text
    for (int id : {IDC_SIZEEQUAL, IDC_STAYONTOP, IDC_SAVEPOSITION, IDC_AUTOSWAP, IDC_DISABLEDBLCLICK}) {
        HWND box = ::GetDlgItem(d, id);
        const RECT r = RectInParent(box);
        const int wanted = std::min(mark + ControlTextWidth(box) + Scale(2, dpi), column - int(r.left));
        if (wanted > r.right - r.left)
            ::SetWindowPos(box, nullptr, 0, 0, wanted, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    HWND fontLabel = ::GetDlgItem(d, IDC_FONTLABEL), sizeLabel = ::GetDlgItem(d, IDC_FONTSIZELABEL);
    const int labelLeft = int(RectInParent(fontLabel).left);
    const int labels = std::max(ControlTextWidth(fontLabel), ControlTextWidth(sizeLabel));
    const RECT box = RectInParent(::GetDlgItem(d, IDC_FONTBOX));
    const int fieldLeft = std::max(int(box.left), labelLeft + labels + Scale(4, dpi));
    if (fieldLeft == box.left) return;
    for (HWND label : {fontLabel, sizeLabel}) {
        const RECT r = RectInParent(label);
        ::SetWindowPos(label, nullptr, 0, 0, fieldLeft - labelLeft - Scale(2, dpi), r.bottom - r.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::SetWindowPos(::GetDlgItem(d, IDC_FONTBOX), nullptr, fieldLeft, box.top, box.right - fieldLeft,
                   box.bottom - box.top, SWP_NOZORDER | SWP_NOACTIVATE);
    HWND edit = ::GetDlgItem(d, IDC_FONTSIZEEDIT);
    const RECT e = RectInParent(edit);
    ::SetWindowPos(edit, nullptr, fieldLeft, e.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

INT_PTR TfPreferences::ShowModal() { return RunModalDialog(IDD_PREFERENCES, main_.Handle, *this); }

int TfPreferences::SpinValue() const {
    BOOL ok = FALSE;
    const int value = int(::SendDlgItemMessageW(Dialog, IDC_FONTSIZESPIN, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&ok)));
    return value;
}

void TfPreferences::FormCreate() {
    const TPreferences& settings = main_.Settings;
    HWND d = Dialog;
    ::CheckDlgButton(d, IDC_SIZEEQUAL, settings.SizeEqually ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(d, IDC_STAYONTOP, settings.StayOnTop ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(d, IDC_AUTOSWAP, settings.AutoSwap ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(d, IDC_SAVEPOSITION, settings.SavePositions ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(d, IDC_DISABLEDBLCLICK, settings.DisableDoubleClick ? BST_CHECKED : BST_UNCHECKED);

    // Each family once, and "Default" in its place, in the user's order.
    entries_ = FontBoxEntries(InstalledFontFamilies(), [](const std::string& a, const std::string& b) {
        return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, ToW(a).c_str(), -1, ToW(b).c_str(), -1) - 2;
    });
    HWND box = ::GetDlgItem(d, IDC_FONTBOX);
    for (const std::string& entry : entries_)
        ::SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToW(entry).c_str()));

    // The spin keeps the size within its range; its change reaches the sample.
    ::SendDlgItemMessageW(d, IDC_FONTSIZESPIN, UDM_SETRANGE32, cMinFontSize, cMaxFontSize);
    ::SendDlgItemMessageW(d, IDC_FONTSIZESPIN, UDM_SETPOS32, 0, ClampFontSize(settings.FontSize));
    FontSizeSpinChange();

    // Letter case is ignored the program's way; the sample keeps its design
    // font until the user picks one.
    opening_ = true;
    ::SendMessageW(box, CB_SETCURSEL, WPARAM(FontBoxSelection(entries_, settings.ProgramFont)), 0);
    opening_ = false;
}

void TfPreferences::ShowPreview() {
    previewFont_.Reset(MakePointFont(previewFamily_, previewSize_, DpiOf(Dialog)));
    ::SendDlgItemMessageW(Dialog, IDC_PREVIEWFONT, WM_SETFONT, WPARAM(previewFont_.Get()), TRUE);
}

void TfPreferences::FontSizeSpinChange() {
    previewSize_ = SpinValue();
    ShowPreview();
}

void TfPreferences::FontBoxChange() {
    if (opening_) return;
    const int at = int(::SendDlgItemMessageW(Dialog, IDC_FONTBOX, CB_GETCURSEL, 0, 0));
    if (at < 0 || size_t(at) >= entries_.size()) return;
    previewFamily_ = ProgramFontFamily(entries_[size_t(at)]);
    ShowPreview();
}

void TfPreferences::OkButtonClick() {
    TPreferences& settings = main_.Settings;
    HWND d = Dialog;
    settings.SizeEqually = ::IsDlgButtonChecked(d, IDC_SIZEEQUAL) == BST_CHECKED;
    settings.StayOnTop = ::IsDlgButtonChecked(d, IDC_STAYONTOP) == BST_CHECKED;
    settings.AutoSwap = ::IsDlgButtonChecked(d, IDC_AUTOSWAP) == BST_CHECKED;
    settings.SavePositions = ::IsDlgButtonChecked(d, IDC_SAVEPOSITION) == BST_CHECKED;
    settings.DisableDoubleClick = ::IsDlgButtonChecked(d, IDC_DISABLEDBLCLICK) == BST_CHECKED;
    // Empty when nothing is selected: the platform's default font is used.
    const int at = int(::SendDlgItemMessageW(d, IDC_FONTBOX, CB_GETCURSEL, 0, 0));
    settings.ProgramFont = at >= 0 && size_t(at) < entries_.size() ? entries_[size_t(at)] : std::string();
    settings.FontSize = SpinValue();
    main_.ApplyProgramFont();
    ::EndDialog(d, IDOK);
}

void TfPreferences::CancelButtonClick() { ::EndDialog(Dialog, IDCANCEL); }

INT_PTR TfPreferences::HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG: {
            const UINT dpi = DpiOf(dialog);
            SetClientSize(dialog, Scale(460, dpi), Scale(220, dpi));
            FitDialogBand(dialog);
            // The body panel's controls, the panel standing at 0,54.
            constexpr int y = 54;
            PlaceControls(dialog, {{IDC_SIZEEQUAL, 8, y + 2, 129, 17},
                                   {IDC_STAYONTOP, 8, y + 23, 97, 17},
                                   {IDC_SAVEPOSITION, 8, y + 45, 137, 17},
                                   {IDC_AUTOSWAP, 8, y + 66, 97, 17},
                                   {IDC_DISABLEDBLCLICK, 8, y + 88, 129, 17},
                                   {IDC_PREVIEWFONT, 160, y, 297, 49},
                                   {IDC_FONTLABEL, 160, y + 60, 70, 17},
                                   {IDC_FONTBOX, 232, y + 56, 225, 200},
                                   {IDC_FONTSIZELABEL, 160, y + 88, 70, 17},
                                   {IDC_FONTSIZEEDIT, 232, y + 83, 57, 22},
                                   {IDOK, 296, y + 136, 75, 25},
                                   {IDCANCEL, 380, y + 136, 75, 25}});
            FitTexts(dialog, dpi);
            // The arrows take their place at the right of the field again.
            ::SendDlgItemMessageW(dialog, IDC_FONTSIZESPIN, UDM_SETBUDDY,
                                  reinterpret_cast<WPARAM>(::GetDlgItem(dialog, IDC_FONTSIZEEDIT)), 0);
            ::SendDlgItemMessageW(dialog, IDC_FONTSIZEEDIT, EM_SETLIMITTEXT, 3, 0);
            FormCreate();
            CentreWindow(dialog, main_.Handle);
            ::SetFocus(::GetDlgItem(dialog, IDC_SIZEEQUAL));
            return FALSE;
        }
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case IDOK: OkButtonClick(); return TRUE;
                case IDCANCEL: CancelButtonClick(); return TRUE;
                case IDC_FONTBOX:
                    if (HIWORD(wp) == CBN_SELCHANGE) FontBoxChange();
                    return TRUE;
                case IDC_FONTSIZEEDIT:
                    // The buddy's text follows the spin's arrows.
                    if (HIWORD(wp) == EN_CHANGE && Dialog) FontSizeSpinChange();
                    return TRUE;
                default: return FALSE;
            }
        default: return FALSE;
    }
}

}  // namespace tarnel::win
