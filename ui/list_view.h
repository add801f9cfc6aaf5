// Operations of the folder-pair list that work on the list's window handle.
// The operations that take a control index are members of UiWindow.
#pragma once

#include <windows.h>

// Exchanges everything two rows have: texts of every column, state (check
// box, selection, focus), image, parameter, indent and group.
bool SwapRows(HWND list, int first, int second);

// Sorts by a column (negative: the column that shows a sort arrow, else 0);
// a second sort on the same column reverses the order. 1 when the new order
// is descending, -1 when ascending, 0 when refused.
int SortByColumn(HWND list, int column);

// Takes the sort arrow off every column header: rows put in by other hands
// (a job loaded, a row moved) are in no sorted order, and the next click on
// a column sorts it ascending.
void ClearSortArrows(HWND list);

// Row comparison of the sort: texts that both start with a digit compare as
// numbers ("," read as ".", size suffixes " KB" to " TB"), then as text
// without regard to case. Negative, 0 or positive like a comparison; the
// texts are changed in place as the comparison reads them.
int CompareCellTexts(wchar_t* a, wchar_t* b);
