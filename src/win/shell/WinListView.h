// Report-view list controls as every list of the program uses them: columns
// from the core's layouts, rows whose texts the window is asked for when
// drawn (the core words them), and the selection read and set by row.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "core/catalogue/CodecView.h"
#include "win/shell/WinCommon.h"

namespace tarnel::win {

// Whole rows selected, the selection shown without the focus; `extra`
// adds list extended styles (grid lines, movable headers).
void SetUpReportList(HWND list, DWORD extra = 0);
// The columns with their captions and widths (0: a hidden column, whose
// width can still be dragged open), the widths at `dpi` and grown by `growth`.
void SetColumns(HWND list, std::span<const TColumnLayout> columns, UINT dpi, double growth = 1.0);
void SetColumnWidths(HWND list, std::span<const TColumnLayout> columns, UINT dpi, double growth);
int ColumnWidth(HWND list, int column);
int ColumnCount(HWND list);
std::string ColumnCaption(HWND list, int column);

// `count` rows whose texts are asked for with LVN_GETDISPINFO, none selected.
void SetRowCount(HWND list, size_t count);
int RowCount(HWND list);
// Answers LVN_GETDISPINFO with `text`.
void GiveText(NMLVDISPINFOW* info, const std::string& text);
std::string ItemText(HWND list, int row, int column);

bool RowSelected(HWND list, int row);
void SelectRow(HWND list, int row, bool selected);
void SelectAllRows(HWND list, bool selected);
std::vector<size_t> SelectedRows(HWND list);
// The row at a point of the list's client area; -1 for none.
int RowAt(HWND list, POINT client);
RECT RowRect(HWND list, int row);

}  // namespace tarnel::win
