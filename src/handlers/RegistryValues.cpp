#include "handlers/RegistryValues.h"

#include <cstring>

#include "core/Records.h"

namespace kiv {

bool OpenRegKey(HKEY root, const std::wstring& path, UniqueHKey& key) {
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, key.Put()) == ERROR_SUCCESS;
}

bool CreateMarkerKey(HKEY live, UniqueHKey& marker) {
    return RegCreateKeyExW(live, kMarker, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, marker.Put(), nullptr) ==
           ERROR_SUCCESS;
}

bool HasRegName(const CKivItem* item) { return item && item->m_location && !item->m_regNames.empty(); }

bool NamesSubkey(const CKivItem* item) { return HasRegName(item) && !item->m_regNames[0].empty(); }

bool OpenPassKey(const Location* location, unsigned enabledPass, UniqueHKey& key) {
    return OpenRegKey(location->m_root, enabledPass ? location->m_path : MarkerPath(location->m_path), key);
}

std::wstring RegValueData::Text() const {
    const wchar_t* text = reinterpret_cast<const wchar_t*>(data);
    size_t chars = size / sizeof(wchar_t);
    size_t length = 0;
    while (length < chars && text[length] != L'\0') ++length;
    return std::wstring(text, length);
}

ValueRead ReadRegValue(HKEY key, const std::wstring& name, RegValueData& value) {
    value = RegValueData();
    DWORD size = kValueBytes;
    LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, value.data, &size);
    if (rc == ERROR_FILE_NOT_FOUND) return ValueRead::Absent;
    if (rc != ERROR_SUCCESS) return ValueRead::Unreadable;
    value.size = size;
    return ValueRead::Ok;
}

bool WriteRegValue(HKEY key, const std::wstring& name, const RegValueData& value) {
    return RegSetValueExW(key, name.c_str(), 0, value.type, value.data, value.size) == ERROR_SUCCESS;
}

bool WriteRegText(HKEY key, const std::wstring& name, DWORD type, const std::wstring& text) {
    DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    if (text.size() >= kValueBytes / sizeof(wchar_t)) return false;
    return RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()), bytes) ==
           ERROR_SUCCESS;
}

bool SplitMultiString(const wchar_t* text, DWORD bytes, std::vector<std::wstring>& strings) {
    strings.clear();
    const size_t chars = bytes / sizeof(wchar_t);
    size_t at = 0;
    while (at < chars && text[at] != L'\0') {
        size_t end = at;
        while (end < chars && text[end] != L'\0') ++end;
        strings.emplace_back(text + at, end - at);
        at = end + 1;
    }
    for (; at < chars; ++at)
        if (text[at] != L'\0') return false;
    return true;
}

void EnumRegValues(HKEY key, const std::function<void(const std::wstring&, const RegValueData&)>& visit) {
    for (DWORD index = 0;; ++index) {
        wchar_t name[kNameChars] = {};
        DWORD nameChars = kNameChars;
        RegValueData value;
        DWORD size = kValueBytes;
        LONG rc = RegEnumValueW(key, index, name, &nameChars, nullptr, &value.type, value.data, &size);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        value.size = size;
        visit(std::wstring(name, nameChars), value);
    }
}

bool MoveRegValue(HKEY from, HKEY to, const std::wstring& name) {
    RegValueData moving;
    if (ReadRegValue(from, name, moving) != ValueRead::Ok) return false;
    RegValueData before;
    ValueRead target = ReadRegValue(to, name, before);
    // A target value we cannot read could not be put back: leave everything alone.
    if (target == ValueRead::Unreadable) return false;
    if (!WriteRegValue(to, name, moving)) return false;
    if (RegDeleteValueW(from, name.c_str()) == ERROR_SUCCESS) return true;
    if (target == ValueRead::Absent) RegDeleteValueW(to, name.c_str());
    else WriteRegValue(to, name, before);
    return false;
}

}  // namespace kiv
