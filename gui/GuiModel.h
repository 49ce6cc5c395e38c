// What the window shows of an item and the choices a person makes about the list
// (filter, sort order, column widths), kept apart from the window so they can be
// checked on their own.
#pragma once

#include <string>
#include <vector>

#include "ItemRow.h"

namespace kivgui {

// The list's columns, in display order.
enum Column : int {
    ColTitle = 0,
    ColState,
    ColLocation,
    ColFilePath,
    ColPublisher,
    ColDescription,
    ColMd5,
    ColWhitelisted,
    ColUser,  // another user's account; empty for the running user's and the machine's entries
    ColumnCount
};

const wchar_t* ColumnTitle(int column);
// Widths at 96 dots per inch, used until the person has chosen others.
std::vector<int> DefaultColumnWidths();

// One item of the last collection as the window holds it.
struct GuiRow {
    ItemRow item;
    unsigned category = 0;  // category index; the row's group
    int image = 0;          // index in the list's image list
    bool gone = false;      // removed through the window: no longer shown
};

std::wstring CellText(const ItemRow& row, int column);

// Whether a row is shown: the filter text is looked for, without regard to case,
// in the title, the file path and the publisher; an empty filter shows every row.
bool MatchesFilter(const ItemRow& row, const std::wstring& filter, bool hideWhitelisted);

// Orders two rows by one column's text, without regard to case; rows of equal
// text keep the order of collection.
int CompareRows(const ItemRow& a, const ItemRow& b, int column);

// The row's category and every column, separated by tabs, for the clipboard.
std::wstring RowText(const ItemRow& row);

// Column widths as stored in the settings: decimal numbers separated by commas.
std::wstring FormatWidths(const std::vector<int>& widths);
// The widths of a stored text, or nothing when the text is malformed or names a
// different number of columns (the defaults then apply).
std::vector<int> ParseWidths(const std::wstring& text, size_t count);

}  // namespace kivgui
