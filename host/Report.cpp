#include "Report.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace {

std::wstring JsonString(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        switch (c) {
        case L'"': out += L"\\\""; break;
        case L'\\': out += L"\\\\"; break;
        case L'\n': out += L"\\n"; break;
        case L'\r': out += L"\\r"; break;
        case L'\t': out += L"\\t"; break;
        default:
            if (c < 0x20) {
                wchar_t escaped[8];
                swprintf(escaped, 8, L"\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + L"\"";
}

std::wstring CsvField(const std::wstring& text) {
    if (text.find_first_of(L",\"\r\n") == std::wstring::npos) return text;
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'"') out += L'"';
        out += c;
    }
    return out + L"\"";
}

std::wstring Fit(const std::wstring& text, size_t width) {
    std::wstring cell = text.size() > width ? text.substr(0, width - 3) + L"..." : text;
    return cell + std::wstring(width - cell.size(), L' ');
}

struct Column {
    const wchar_t* title;
    size_t maxWidth;
    std::wstring (*value)(const ItemRow&);
};

const Column kColumns[] = {
    {L"ID", 6, [](const ItemRow& r) { return std::to_wstring(r.id); }},
    {L"Category", 22, [](const ItemRow& r) { return r.category; }},
    {L"Location", 64, [](const ItemRow& r) { return r.location; }},
    {L"Title", 28, [](const ItemRow& r) { return r.title; }},
    {L"State", 8, [](const ItemRow& r) { return StateText(r); }},
    {L"File", 48, [](const ItemRow& r) { return r.filePath; }},
    {L"Publisher", 24, [](const ItemRow& r) { return r.publisher; }},
    {L"MD5", 32, [](const ItemRow& r) { return r.md5; }},
    {L"Whitelisted", 11, [](const ItemRow& r) { return std::wstring(r.whitelisted ? L"yes" : L"no"); }},
};

}  // namespace

std::wstring StateText(const ItemRow& row) {
    if (row.removed) return L"removed";
    return row.enabled ? L"enabled" : L"disabled";
}

std::wstring FormatTable(const std::vector<ItemRow>& rows) {
    std::vector<size_t> widths;
    for (const Column& column : kColumns) {
        size_t width = wcslen(column.title);
        for (const ItemRow& row : rows) width = std::max(width, column.value(row).size());
        widths.push_back(std::max<size_t>(std::min(width, column.maxWidth), 4));
    }
    std::wstring out;
    auto line = [&](auto cellOf) {
        std::wstring text;
        for (size_t i = 0; i < widths.size(); ++i) text += (i ? L"  " : L"") + Fit(cellOf(i), widths[i]);
        text.erase(text.find_last_not_of(L' ') + 1);
        out += text + L"\n";
    };
    line([&](size_t i) { return std::wstring(kColumns[i].title); });
    for (const ItemRow& row : rows) line([&](size_t i) { return kColumns[i].value(row); });
    return out;
}

std::wstring FormatJson(const std::vector<ItemRow>& rows) {
    std::wstring out = L"[";
    for (size_t i = 0; i < rows.size(); ++i) {
        const ItemRow& r = rows[i];
        out += i ? L",\n  {" : L"\n  {";
        out += L"\"id\": " + std::to_wstring(r.id);
        out += L", \"category\": " + JsonString(r.category);
        out += L", \"location\": " + JsonString(r.location);
        out += L", \"title\": " + JsonString(r.title);
        out += L", \"state\": " + JsonString(StateText(r));
        out += L", \"file\": " + JsonString(r.filePath);
        out += L", \"publisher\": " + JsonString(r.publisher);
        out += L", \"description\": " + JsonString(r.description);
        out += L", \"md5\": " + JsonString(r.md5);
        out += L", \"size\": " + std::to_wstring(r.size);
        out += std::wstring(L", \"whitelisted\": ") + (r.whitelisted ? L"true" : L"false") + L"}";
    }
    return out + (rows.empty() ? L"]\n" : L"\n]\n");
}

std::wstring FormatCsv(const std::vector<ItemRow>& rows) {
    std::wstring out = L"id,category,location,title,state,file,publisher,description,md5,size,whitelisted\r\n";
    for (const ItemRow& r : rows) {
        const std::wstring fields[] = {std::to_wstring(r.id), r.category, r.location, r.title, StateText(r),
                                       r.filePath, r.publisher, r.description, r.md5, std::to_wstring(r.size),
                                       r.whitelisted ? L"yes" : L"no"};
        for (size_t i = 0; i < 11; ++i) out += (i ? L"," : L"") + CsvField(fields[i]);
        out += L"\r\n";
    }
    return out;
}
