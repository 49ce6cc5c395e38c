#include "Report.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>

#include "Json.h"

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

std::wstring YesNo(bool value) { return value ? L"yes" : L"no"; }
bool IsYes(const std::wstring& text) { return text == L"yes" || text == L"true"; }
unsigned long long Number(const std::wstring& text) { return wcstoull(text.c_str(), nullptr, 10); }

enum class Kind { Text, Number, Flag };

// One fact of an item: how it is named, shown, written as JSON and read back.
struct Column {
    const wchar_t* key;
    const wchar_t* title;
    size_t maxWidth;
    Kind kind;
    std::wstring (*get)(const ItemRow&);
    void (*set)(ItemRow&, const std::wstring&);
};

#define KIV_TEXT(member) \
    [](const ItemRow& r) { return r.member; }, [](ItemRow& r, const std::wstring& v) { r.member = v; }
#define KIV_FLAG(member) \
    [](const ItemRow& r) { return YesNo(r.member); }, [](ItemRow& r, const std::wstring& v) { r.member = IsYes(v); }

// JSON writes "state" before "enabled" and "removed", so a listing read back in
// order ends with the exact flags; "state" alone (older listings) still sets both.
const Column kColumns[] = {
    {L"id", L"ID", 6, Kind::Number, [](const ItemRow& r) { return std::to_wstring(r.id); },
     [](ItemRow& r, const std::wstring& v) { r.id = static_cast<unsigned>(Number(v)); }},
    {L"category", L"Category", 22, Kind::Text, KIV_TEXT(category)},
    {L"location", L"Location", 64, Kind::Text, KIV_TEXT(location)},
    {L"title", L"Title", 28, Kind::Text, KIV_TEXT(title)},
    {L"state", L"State", 8, Kind::Text, [](const ItemRow& r) { return StateText(r); },
     [](ItemRow& r, const std::wstring& v) {
         r.removed = v == L"removed";
         r.enabled = v == L"enabled";
     }},
    {L"file", L"File", 48, Kind::Text, KIV_TEXT(filePath)},
    {L"publisher", L"Publisher", 24, Kind::Text, KIV_TEXT(publisher)},
    {L"description", L"Description", 32, Kind::Text, KIV_TEXT(description)},
    {L"md5", L"MD5", 32, Kind::Text, KIV_TEXT(md5)},
    {L"size", L"Size", 12, Kind::Number, [](const ItemRow& r) { return std::to_wstring(r.size); },
     [](ItemRow& r, const std::wstring& v) { r.size = Number(v); }},
    {L"whitelisted", L"Whitelisted", 11, Kind::Flag, KIV_FLAG(whitelisted)},
    {L"signature", L"Signature", 14, Kind::Text, KIV_TEXT(signature)},
    {L"signer", L"Signer", 28, Kind::Text, KIV_TEXT(signer)},
    {L"created", L"Created", 16, Kind::Text, KIV_TEXT(created)},
    {L"modified", L"Modified", 16, Kind::Text, KIV_TEXT(modified)},
    {L"shortcutTarget", L"Shortcut target", 48, Kind::Text, KIV_TEXT(shortcutTarget)},
    {L"locationType", L"Type", 4, Kind::Number, [](const ItemRow& r) { return std::to_wstring(r.locationType); },
     [](ItemRow& r, const std::wstring& v) { r.locationType = static_cast<unsigned>(Number(v)); }},
    {L"registryKey", L"Registry key", 64, Kind::Text, KIV_TEXT(registryKey)},
    {L"registryValue", L"Registry value", 28, Kind::Text, KIV_TEXT(registryValue)},
    {L"win32", L"32-bit", 6, Kind::Flag, KIV_FLAG(win32)},
    {L"enabled", L"Enabled", 7, Kind::Flag, KIV_FLAG(enabled)},
    {L"removed", L"Removed", 7, Kind::Flag, KIV_FLAG(removed)},
    {L"protected", L"Protected", 9, Kind::Flag, KIV_FLAG(isProtected)},
};

#undef KIV_TEXT
#undef KIV_FLAG

const Column* FindColumn(const std::wstring& key) {
    for (const Column& column : kColumns)
        if (_wcsicmp(column.key, key.c_str()) == 0) return &column;
    return nullptr;
}

std::vector<const Column*> Resolve(const std::vector<std::wstring>& keys) {
    std::vector<const Column*> columns;
    for (const std::wstring& key : keys)
        if (const Column* column = FindColumn(key)) columns.push_back(column);
    return columns;
}

std::wstring JsonValue(const Column& column, const ItemRow& row) {
    std::wstring text = column.get(row);
    if (column.kind == Kind::Number) return text;
    if (column.kind == Kind::Flag) return IsYes(text) ? L"true" : L"false";
    return JsonString(text);
}

bool RowFromJson(const JsonValueNode& object, ItemRow& row) {
    if (object.type != JsonType::Object) return false;
    for (const auto& member : object.members) {
        const Column* column = FindColumn(member.first);
        if (!column) continue;
        const JsonValueNode& value = member.second;
        if (value.type == JsonType::Bool) column->set(row, value.flag ? L"yes" : L"no");
        else if (value.type == JsonType::String || value.type == JsonType::Number) column->set(row, value.text);
    }
    return true;
}

}  // namespace

std::wstring StateText(const ItemRow& row) {
    if (row.removed) return L"removed";
    return row.enabled ? L"enabled" : L"disabled";
}

std::wstring JsonString(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        switch (c) {
        case L'"':
            out += L"\\\"";
            break;
        case L'\\':
            out += L"\\\\";
            break;
        case L'\n':
            out += L"\\n";
            break;
        case L'\r':
            out += L"\\r";
            break;
        case L'\t':
            out += L"\\t";
            break;
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

std::vector<std::wstring> AllColumns() {
    std::vector<std::wstring> keys;
    for (const Column& column : kColumns) keys.push_back(column.key);
    return keys;
}

std::vector<std::wstring> DefaultTableColumns() {
    return {L"id",        L"category", L"location",    L"title",     L"state", L"file",
            L"publisher", L"md5",      L"whitelisted", L"signature", L"signer"};
}

bool ParseColumns(const std::wstring& list, std::vector<std::wstring>& columns, std::wstring& error) {
    columns.clear();
    for (size_t start = 0; start <= list.size();) {
        size_t end = std::min(list.find(L',', start), list.size());
        std::wstring key = list.substr(start, end - start);
        const Column* column = FindColumn(key);
        if (!column) {
            error = L"unknown column \"" + key + L"\"";
            return false;
        }
        columns.push_back(column->key);
        start = end + 1;
    }
    return true;
}

std::wstring ColumnText(const ItemRow& row, const std::wstring& column) {
    const Column* found = FindColumn(column);
    return found ? found->get(row) : std::wstring();
}

std::wstring FormatTable(const std::vector<ItemRow>& rows) { return FormatTable(rows, DefaultTableColumns()); }

std::wstring FormatTable(const std::vector<ItemRow>& rows, const std::vector<std::wstring>& keys) {
    std::vector<const Column*> columns = Resolve(keys);
    std::vector<size_t> widths;
    for (const Column* column : columns) {
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

std::wstring FormatJson(const std::vector<ItemRow>& rows) {
    std::wstring out = L"[";
    for (size_t i = 0; i < rows.size(); ++i) {
        out += i ? L",\n  {" : L"\n  {";
        bool first = true;
        for (const Column& column : kColumns) {
            out += (first ? L"\"" : L", \"") + std::wstring(column.key) + L"\": " + JsonValue(column, rows[i]);
            first = false;
        }
        out += L"}";
    }
    return out + (rows.empty() ? L"]\n" : L"\n]\n");
}

std::wstring FormatCsv(const std::vector<ItemRow>& rows) { return FormatCsv(rows, AllColumns()); }

std::wstring FormatCsv(const std::vector<ItemRow>& rows, const std::vector<std::wstring>& keys) {
    std::vector<const Column*> columns = Resolve(keys);
    std::wstring out;
    for (size_t i = 0; i < columns.size(); ++i) out += (i ? L"," : L"") + std::wstring(columns[i]->key);
    out += L"\r\n";
    for (const ItemRow& row : rows) {
        for (size_t i = 0; i < columns.size(); ++i) out += (i ? L"," : L"") + CsvField(columns[i]->get(row));
        out += L"\r\n";
    }
    return out;
}

bool ParseJsonListing(const std::wstring& text, std::vector<ItemRow>& rows, std::wstring& error) {
    JsonValueNode document;
    if (!ParseJson(text, document, error)) return false;
    if (document.type != JsonType::Array) {
        error = L"a listing is a JSON array of items";
        return false;
    }
    rows.clear();
    for (const JsonValueNode& element : document.elements) {
        ItemRow row;
        if (!RowFromJson(element, row)) {
            error = L"an element of the listing is not an object";
            return false;
        }
        rows.push_back(row);
    }
    return true;
}
