#include "GuiModel.h"

#include <windows.h>

namespace kivgui {

namespace {

std::wstring Lower(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool Contains(const std::wstring& haystack, const std::wstring& lowerNeedle) {
    return Lower(haystack).find(lowerNeedle) != std::wstring::npos;
}

// Widths beyond this are taken for a damaged setting rather than a choice.
const int kWidestColumn = 4000;

}  // namespace

const wchar_t* ColumnTitle(int column) {
    static const wchar_t* const titles[ColumnCount] = {
        L"Title", L"State", L"Location", L"File path", L"Publisher", L"Description", L"MD5", L"Whitelisted", L"User"};
    return column >= 0 && column < ColumnCount ? titles[column] : L"";
}

std::vector<int> DefaultColumnWidths() { return {220, 70, 330, 280, 150, 200, 250, 80, 140}; }

// Each column shows a fact of the host library's row, named by its key there, so a
// column shows exactly what kivctl lists under that key.
std::wstring CellText(const ItemRow& row, int column) {
    static const wchar_t* const keys[ColumnCount] = {L"title",       L"state", L"location",    L"file", L"publisher",
                                                     L"description", L"md5",   L"whitelisted", L"user"};
    return column >= 0 && column < ColumnCount ? ColumnText(row, keys[column]) : L"";
}

bool MatchesFilter(const ItemRow& row, const std::wstring& filter, bool hideWhitelisted) {
    if (hideWhitelisted && row.whitelisted) return false;
    if (filter.empty()) return true;
    std::wstring needle = Lower(filter);
    return Contains(row.title, needle) || Contains(row.filePath, needle) || Contains(row.publisher, needle);
}

int CompareRows(const ItemRow& a, const ItemRow& b, int column) {
    int order = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, CellText(a, column).c_str(), -1,
                               CellText(b, column).c_str(), -1) -
                CSTR_EQUAL;
    if (order != 0) return order;
    return a.id < b.id ? -1 : (a.id > b.id ? 1 : 0);
}

std::wstring RowText(const ItemRow& row) {
    std::wstring text = row.category;
    for (int column = 0; column < ColumnCount; ++column) text += L"\t" + CellText(row, column);
    return text;
}

std::wstring FormatWidths(const std::vector<int>& widths) {
    std::wstring text;
    for (size_t i = 0; i < widths.size(); ++i) text += (i ? L"," : L"") + std::to_wstring(widths[i]);
    return text;
}

std::vector<int> ParseWidths(const std::wstring& text, size_t count) {
    std::vector<int> widths;
    int value = 0;
    bool digits = false;
    for (size_t i = 0; i <= text.size(); ++i) {
        wchar_t c = i < text.size() ? text[i] : L',';
        if (c >= L'0' && c <= L'9') {
            value = value * 10 + (c - L'0');
            digits = true;
            if (value > kWidestColumn) return {};
        } else if (c == L',' && digits) {
            widths.push_back(value);
            value = 0;
            digits = false;
        } else {
            return {};
        }
    }
    if (widths.size() != count) return {};
    return widths;
}

}  // namespace kivgui
