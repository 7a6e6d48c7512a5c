// The codec window: the active list above the inactive list, in the main
// window's first tab. The entries live in the core catalogue, and what is
// shown of them (cells, colours, enabling, drops) is the core's rule
// (CodecView.h); the list controls here draw it and hand what the user
// does to the core's operations, with the rows selected.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/catalogue/CodecLists.h"
#include "core/catalogue/CodecView.h"
#include "core/operations/CodecOperations.h"
#include "win/operations/uListDrag.h"
#include "win/shell/WinCommon.h"

namespace tarnel::win {

class TfMain;
class TSplashScreen;

class TfNTCodecs : public TWindowHandler {
public:
    // Runs the creation sequence at once (FormCreate). `splash` is the
    // start-up splash screen, or null after start-up.
    TfNTCodecs(TfMain& main, TSplashScreen* splash);
    ~TfNTCodecs() override;
    TfNTCodecs(const TfNTCodecs&) = delete;
    TfNTCodecs& operator=(const TfNTCodecs&) = delete;

    TCodecCatalogue& Catalogue() { return catalogue_; }
    TCodecOperations& Operations() { return operations_; }

    // Components.
    HWND Form = nullptr;                  // holds the panel until it moves into the tab
    HWND WindowsNTCodecsPanel = nullptr;  // the panel, with the inner border of 10
    HWND Panel5 = nullptr;                // band "Active Codecs"
    HWND CodecList = nullptr;
    HWND Splitter1 = nullptr;
    HWND Panel1 = nullptr;  // band "Inactive Codecs"
    HWND InactiveCodecList = nullptr;
    HWND ToolTip = nullptr;  // the active list's tooltip
    HMENU PopupMenus = nullptr;
    HMENU DriverConfig = nullptr;     // the active list's menu
    HMENU InactiveDrivers = nullptr;  // the inactive list's menu

    // Handlers.
    void FormCreate();
    void RefreshClick();
    void UpdateActiveCount();
    void UpdateInactiveCount();
    void CodecsPanelResize();
    void CodecListSelectItem();
    void ShowVersionTooltips1Click();
    void CodecListMouseMove(POINT client);
    void DriverConfigPopup();
    void N2Click();
    void SelectAll1Click();
    void InactiveCodecListColumnClick(int column);
    // Deactivation.
    bool InactiveCodecListDragOver(HWND source) const;
    void InactiveCodecListDragDrop(HWND source);
    void DeActivate1Click();
    void CodecListDblClick();
    // Activation.
    bool CodecListDragOver(HWND source) const;
    void CodecListDragDrop(HWND source);
    void Activate1Click();
    void InactiveCodecListDblClick();
    void RemoveSelectedInactiveDrivers1Click();
    // The codec's own dialogs.
    void Configure1Click();
    void About1Click();
    void EditFOURCCscanlist1Click();
    // The FOURCC scan (with the scan's windows, win/scan/uScan.cpp).
    void ScanCodecsformoreFOURCCs1Click();

    // The popup menus' state.
    bool MenuEnabled(int id) const;
    bool ShowVersionTooltips() const;
    // "&FOURCC List" is never in a menu; its enabled state follows the scan's.
    bool FourccListEnabled() const { return fourccListEnabled_; }
    // The active list's tooltip text as the pointer left it, and what it shows.
    const std::string& ToolTipText() const { return toolTipText_; }
    std::string ShownToolTip() const;
    // What the active list draws a row's text in: red for an active codec
    // with an inactive twin, the list's own colour (CLR_DEFAULT) otherwise.
    COLORREF RowTextColour(size_t row) const;
    // Whether a row carries the mark of a driver that cannot be loaded.
    bool RowMarked(size_t row) const;

    // The lists' rows again from the core lists, selection included.
    void ShowRows();
    // The list control's selection into the core rows, and back.
    void TakeSelection(HWND list, TCodecList& rows);
    void ShowSelection(HWND list, const TCodecList& rows);
    // The active list's height as the quit stores it (pixels at 96 dots per inch).
    int ActiveListHeight() const { return shownHeight_; }
    // The height the active list is to have (the design's, the saved one,
    // the splitter's or half the panel's, at 96 dots per inch); it is shown
    // as far as the panel leaves room for the inactive band and 50 pixels
    // of the inactive list.
    void SetActiveListHeight(int height);
    // The least height of the panel that shows both bands and 50 pixels of
    // each list, at the window's scale.
    int MinimumPanelHeight() const;
    // The program font, as ApplyProgramFont hands it to the two lists.
    void SetListsFont(HFONT font);

    // The drag between the two lists.
    TListDrag Drag;

    LRESULT HandleMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) override;

private:
    class Progress;
    class Questions;
    LRESULT PanelMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT SplitterMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Notify(NMHDR* hdr);
    LRESULT CustomDraw(NMLVCUSTOMDRAW* draw);
    void Command(int id);
    void ContextMenu(HWND list, POINT screen);
    void Layout();
    // Which of the two lists a handle is; none for anything else.
    std::optional<TListKind> ListOf(HWND window) const;
    TCodecList& RowsOf(HWND list) { return list == CodecList ? catalogue_.CodecList : catalogue_.InactiveCodecList; }
    // What every operation ends with in the window: the lists and the
    // counters show the core's lists, and an error that ended the save is shown.
    void ShowResult(const TOperationResult& result);
    void SetMenuEnabled(int id, bool enabled);
    void UpdateToolTip(int row);
    static LRESULT CALLBACK ListSubclass(HWND list, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);

    TfMain& main_;
    TCodecCatalogue catalogue_;
    std::unique_ptr<Questions> questions_;
    TCodecOperations operations_;
    TSplashScreen* splash_;
    std::unique_ptr<Progress> progress_;
    bool syncing_ = false;
    bool fourccListEnabled_ = true;
    int activeHeight_ = 158;  // as asked for, at 96 dots per inch
    int shownHeight_ = 158;   // as shown
    int splitterStart_ = 0, splitterPress_ = 0;
    bool splitterDragging_ = false;
    int tipRow_ = -1;
    std::string toolTipText_;
    TFont tipFont_;
};

extern TfNTCodecs* fNTCodecs;

}  // namespace tarnel::win
