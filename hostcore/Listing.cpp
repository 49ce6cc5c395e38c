#include "Listing.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "Json.h"
#include "platform/Handles.h"

namespace {

bool IsYes(const std::wstring& text) { return text == L"yes" || text == L"true"; }

std::wstring JsonValue(const ItemColumn& column, const ItemRow& row) {
    std::wstring text = column.get(row);
    if (column.kind == ColumnKind::Number) return text;
    if (column.kind == ColumnKind::Flag) return IsYes(text) ? L"true" : L"false";
    return JsonString(text);
}

bool RowFromJson(const JsonValueNode& object, ItemRow& row) {
    if (object.type != JsonType::Object) return false;
    for (const auto& member : object.members) {
        const ItemColumn* column = FindColumn(member.first);
        if (!column) continue;
        const JsonValueNode& value = member.second;
        if (value.type == JsonType::Bool) column->set(row, value.flag ? L"yes" : L"no");
        else if (value.type == JsonType::String || value.type == JsonType::Number) column->set(row, value.text);
    }
    for (const std::wstring& key : AllColumns()) {
        bool held = false;
        for (const auto& member : object.members) held = held || member.first == key;
        if (!held) row.unknownColumns.push_back(key);
    }
    return true;
}

}  // namespace

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

namespace {

// The members of a row's object, every column in order, without the braces.
std::wstring RowMembers(const ItemRow& row) {
    std::wstring out;
    for (const ItemColumn& column : ItemColumns())
        out += (out.empty() ? L"\"" : L", \"") + std::wstring(column.key) + L"\": " + JsonValue(column, row);
    return out;
}

}  // namespace

std::wstring FormatJson(const std::vector<ItemRow>& rows) {
    std::wstring out = L"[";
    for (size_t i = 0; i < rows.size(); ++i) out += (i ? L",\n  {" : L"\n  {") + RowMembers(rows[i]) + L"}";
    return out + (rows.empty() ? L"]\n" : L"\n]\n");
}

std::wstring FormatJsonLines(const std::vector<ItemRow>& rows, const std::wstring& machine,
                             const std::wstring& listed) {
    const std::wstring head = L"{\"machine\": " + JsonString(machine) + L", \"listed\": " + JsonString(listed) + L", ";
    std::wstring out;
    for (const ItemRow& row : rows) out += head + RowMembers(row) + L"}\n";
    return out;
}

namespace {

// Each line of a JSON-lines listing names the machine and the time it was listed,
// which tells it from a lone object that is no listing.
bool IsStampedObject(const JsonValueNode& value) {
    if (value.type != JsonType::Object) return false;
    bool machine = false, listed = false;
    for (const auto& member : value.members) {
        machine = machine || member.first == L"machine";
        listed = listed || member.first == L"listed";
    }
    return machine && listed;
}

// JSON lines: an object on each line that is not blank, gathered into the array a
// saved listing is, so both forms are read the same way.
bool ParseJsonLines(const std::wstring& text, JsonValueNode& document, std::wstring& error) {
    document = JsonValueNode();
    document.type = JsonType::Array;
    size_t line = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        ++line;
        const std::wstring content = text.substr(start, end - start);
        start = end + 1;
        if (content.find_first_not_of(L" \t\r") == std::wstring::npos) continue;
        JsonValueNode element;
        if (!ParseJson(content, element, error)) {
            error = L"line " + std::to_wstring(line) + L": " + error;
            return false;
        }
        if (!IsStampedObject(element)) {
            error = L"line " + std::to_wstring(line) + L" is not an item with its machine and time";
            return false;
        }
        document.elements.push_back(std::move(element));
    }
    return true;
}

bool StartsWithObject(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t\r\n");
    return first != std::wstring::npos && text[first] == L'{';
}

}  // namespace

bool ParseJsonListing(const std::wstring& text, std::vector<ItemRow>& rows, std::wstring& error) {
    JsonValueNode document;
    if (!(StartsWithObject(text) ? ParseJsonLines(text, document, error) : ParseJson(text, document, error)))
        return false;
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

bool ReadListing(const std::wstring& path, std::vector<ItemRow>& rows, std::wstring& error) {
    kiv::UniqueCrtFile file(_wfopen(path.c_str(), L"rb"));
    if (!file) {
        error = L"cannot open " + path;
        return false;
    }
    std::string bytes;
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof(buffer), file.Get())) > 0;) bytes.append(buffer, n);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    std::wstring text;
    if (!bytes.empty()) {
        int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                    nullptr, 0);
        if (n <= 0) {
            error = path + L" is not UTF-8 text";
            return false;
        }
        text.resize(static_cast<size_t>(n));
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], n);
    }
    if (ParseJsonListing(text, rows, error)) return true;
    error = path + L": " + error;
    return false;
}
