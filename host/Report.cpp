#include "Report.h"

#include <algorithm>
#include <cwchar>

namespace {

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

std::vector<const ItemColumn*> Resolve(const std::vector<std::wstring>& keys) {
    std::vector<const ItemColumn*> columns;
    for (const std::wstring& key : keys)
        if (const ItemColumn* column = FindColumn(key)) columns.push_back(column);
    return columns;
}

}  // namespace

std::vector<std::wstring> DefaultTableColumns() {
    return {L"id",        L"category", L"location",    L"title",     L"state", L"file",
            L"publisher", L"md5",      L"whitelisted", L"signature", L"signer"};
}

std::vector<std::wstring> DefaultTableColumns(const std::vector<ItemRow>& rows) {
    std::vector<std::wstring> columns = DefaultTableColumns();
    if (std::any_of(rows.begin(), rows.end(), [](const ItemRow& row) { return !row.user.empty(); }))
        columns.insert(std::find(columns.begin(), columns.end(), L"location") + 1, L"user");
    return columns;
}

bool ParseColumns(const std::wstring& list, std::vector<std::wstring>& columns, std::wstring& error) {
    columns.clear();
    for (size_t start = 0; start <= list.size();) {
        size_t end = std::min(list.find(L',', start), list.size());
        std::wstring key = list.substr(start, end - start);
        const ItemColumn* column = FindColumn(key);
        if (!column) {
            error = L"unknown column \"" + key + L"\"";
            return false;
        }
        columns.push_back(column->key);
        start = end + 1;
    }
    return true;
}

bool ShowsSignatures(const std::wstring& format, const std::vector<std::wstring>& columns) {
    if (format == L"json" || format == L"jsonl") return true;
    const std::vector<std::wstring> shown = !columns.empty()   ? columns
                                            : format == L"csv" ? AllColumns()
                                                               : DefaultTableColumns();
    for (const wchar_t* signed_ : {L"signature", L"signer", L"serviceDllSignature", L"serviceDllSigner"})
        if (std::find(shown.begin(), shown.end(), signed_) != shown.end()) return true;
    return false;
}

std::wstring FormatTable(const std::vector<ItemRow>& rows) { return FormatTable(rows, DefaultTableColumns()); }

std::wstring FormatTable(const std::vector<ItemRow>& rows, const std::vector<std::wstring>& keys) {
    std::vector<const ItemColumn*> columns = Resolve(keys);
    std::vector<size_t> widths;
    for (const ItemColumn* column : columns) {
        size_t width = wcslen(column->title);
        for (const ItemRow& row : rows) width = std::max(width, column->get(row).size());
        widths.push_back(std::max<size_t>(std::min(width, column->maxWidth), 4));
    }
    std::wstring out;
    auto line = [&](auto cellOf) {
        std::wstring text;
        for (size_t i = 0; i < widths.size(); ++i) text += (i ? L"  " : L"") + Fit(cellOf(i), widths[i]);
        text.erase(text.find_last_not_of(L' ') + 1);
        out += text + L"\n";
    };
    line([&](size_t i) { return std::wstring(columns[i]->title); });
    for (const ItemRow& row : rows) line([&](size_t i) { return columns[i]->get(row); });
    return out;
}

std::wstring FormatCsv(const std::vector<ItemRow>& rows) { return FormatCsv(rows, AllColumns()); }

std::wstring FormatCsv(const std::vector<ItemRow>& rows, const std::vector<std::wstring>& keys) {
    std::vector<const ItemColumn*> columns = Resolve(keys);
    std::wstring out;
    for (size_t i = 0; i < columns.size(); ++i) out += (i ? L"," : L"") + std::wstring(columns[i]->key);
    out += L"\r\n";
    for (const ItemRow& row : rows) {
        for (size_t i = 0; i < columns.size(); ++i) out += (i ? L"," : L"") + CsvField(columns[i]->get(row));
        out += L"\r\n";
    }
    return out;
}
