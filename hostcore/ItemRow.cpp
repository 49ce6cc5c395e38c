#include "ItemRow.h"

#include <cwchar>

namespace {

std::wstring YesNo(bool value) { return value ? L"yes" : L"no"; }
bool IsYes(const std::wstring& text) { return text == L"yes" || text == L"true"; }
unsigned long long Number(const std::wstring& text) { return wcstoull(text.c_str(), nullptr, 10); }

#define KIV_TEXT(member) \
    [](const ItemRow& r) { return r.member; }, [](ItemRow& r, const std::wstring& v) { r.member = v; }
#define KIV_FLAG(member) \
    [](const ItemRow& r) { return YesNo(r.member); }, [](ItemRow& r, const std::wstring& v) { r.member = IsYes(v); }

// A saved listing writes "state" before "enabled" and "removed", so a listing read
// back in order ends with the exact flags; "state" alone (older listings) still sets both.
const std::vector<ItemColumn> kColumns = {
    {L"id", L"ID", 6, ColumnKind::Number, [](const ItemRow& r) { return std::to_wstring(r.id); },
     [](ItemRow& r, const std::wstring& v) { r.id = static_cast<unsigned>(Number(v)); }},
    {L"category", L"Category", 22, ColumnKind::Text, KIV_TEXT(category)},
    {L"location", L"Location", 64, ColumnKind::Text, KIV_TEXT(location)},
    {L"user", L"User", 20, ColumnKind::Text, KIV_TEXT(user)},
    {L"title", L"Title", 28, ColumnKind::Text, KIV_TEXT(title)},
    {L"state", L"State", 8, ColumnKind::Text, [](const ItemRow& r) { return StateText(r); },
     [](ItemRow& r, const std::wstring& v) {
         r.removed = v == L"removed";
         r.enabled = v == L"enabled";
     }},
    {L"file", L"File", 48, ColumnKind::Text, KIV_TEXT(filePath)},
    {L"publisher", L"Publisher", 24, ColumnKind::Text, KIV_TEXT(publisher)},
    {L"description", L"Description", 32, ColumnKind::Text, KIV_TEXT(description)},
    {L"md5", L"MD5", 32, ColumnKind::Text, KIV_TEXT(md5)},
    {L"size", L"Size", 12, ColumnKind::Number, [](const ItemRow& r) { return std::to_wstring(r.size); },
     [](ItemRow& r, const std::wstring& v) { r.size = Number(v); }},
    {L"whitelisted", L"Whitelisted", 11, ColumnKind::Flag, KIV_FLAG(whitelisted)},
    {L"signature", L"Signature", 14, ColumnKind::Text, KIV_TEXT(signature)},
    {L"signer", L"Signer", 28, ColumnKind::Text, KIV_TEXT(signer)},
    {L"created", L"Created", 16, ColumnKind::Text, KIV_TEXT(created)},
    {L"modified", L"Modified", 16, ColumnKind::Text, KIV_TEXT(modified)},
    {L"shortcutTarget", L"Shortcut target", 48, ColumnKind::Text, KIV_TEXT(shortcutTarget)},
    {L"locationType", L"Type", 4, ColumnKind::Number, [](const ItemRow& r) { return std::to_wstring(r.locationType); },
     [](ItemRow& r, const std::wstring& v) { r.locationType = static_cast<unsigned>(Number(v)); }},
    {L"registryKey", L"Registry key", 64, ColumnKind::Text, KIV_TEXT(registryKey)},
    {L"registryValue", L"Registry value", 28, ColumnKind::Text, KIV_TEXT(registryValue)},
    {L"win32", L"32-bit", 6, ColumnKind::Flag, KIV_FLAG(win32)},
    {L"enabled", L"Enabled", 7, ColumnKind::Flag, KIV_FLAG(enabled)},
    {L"removed", L"Removed", 7, ColumnKind::Flag, KIV_FLAG(removed)},
    {L"protected", L"Protected", 9, ColumnKind::Flag, KIV_FLAG(isProtected)},
    {L"disabledByWindows", L"Off in Windows", 14, ColumnKind::Flag, KIV_FLAG(startupSwitchOff)},
    {L"serviceDll", L"Service library", 48, ColumnKind::Text, KIV_TEXT(serviceDll)},
    {L"serviceDllMd5", L"Library MD5", 32, ColumnKind::Text, KIV_TEXT(serviceDllMd5)},
    {L"serviceDllSignature", L"Library signature", 17, ColumnKind::Text, KIV_TEXT(serviceDllSignature)},
    {L"serviceDllSigner", L"Library signer", 28, ColumnKind::Text, KIV_TEXT(serviceDllSigner)},
};

#undef KIV_TEXT
#undef KIV_FLAG

}  // namespace

std::wstring StateText(const ItemRow& row) {
    if (row.removed) return L"removed";
    return row.enabled ? L"enabled" : L"disabled";
}

const std::vector<ItemColumn>& ItemColumns() { return kColumns; }

const ItemColumn* FindColumn(const std::wstring& key) {
    for (const ItemColumn& column : kColumns)
        if (_wcsicmp(column.key, key.c_str()) == 0) return &column;
    return nullptr;
}

std::vector<std::wstring> AllColumns() {
    std::vector<std::wstring> keys;
    for (const ItemColumn& column : kColumns) keys.push_back(column.key);
    return keys;
}

std::wstring ColumnText(const ItemRow& row, const std::wstring& column) {
    const ItemColumn* found = FindColumn(column);
    return found ? found->get(row) : std::wstring();
}
