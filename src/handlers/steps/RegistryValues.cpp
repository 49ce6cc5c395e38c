#include "handlers/steps/RegistryValues.h"

#include <cstring>

#include "core/Records.h"

namespace kiv {

Status OpenKeyToRead(HKEY root, const std::wstring& path, UniqueHKey& key) {
    return Status::FromRegistry(RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()));
}

Status OpenKeyToChange(HKEY root, const std::wstring& path, UniqueHKey& key) {
    return Status::FromRegistry(RegOpenKeyExW(root, path.c_str(), 0, kKeyChangeRights, key.Put()));
}

Status CreateMarkerKey(HKEY live, UniqueHKey& marker) {
    return Status::FromRegistry(
        RegCreateKeyExW(live, kMarker, 0, nullptr, 0, kKeyChangeRights, nullptr, marker.Put(), nullptr));
}

bool HasRegName(const CKivItem* item) { return item && item->m_location && !item->m_regNames.empty(); }

bool NamesSubkey(const CKivItem* item) { return HasRegName(item) && !item->m_regNames[0].empty(); }

bool OpenPassKey(const Location* location, unsigned enabledPass, UniqueHKey& key) {
    return OpenKeyToRead(location->m_root, enabledPass ? location->m_path : MarkerPath(location->m_path), key)
        .Succeeded();
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
    value.result = rc;
    if (rc == ERROR_FILE_NOT_FOUND) return ValueRead::Absent;
    if (rc != ERROR_SUCCESS) return ValueRead::Unreadable;
    value.size = size;
    return ValueRead::Ok;
}

Status ReadFailure(const RegValueData& value) {
    return Status::Fail(value.result == ERROR_SUCCESS ? static_cast<DWORD>(ERROR_INVALID_DATA)
                                                      : static_cast<DWORD>(value.result));
}

Status WriteRegValue(HKEY key, const std::wstring& name, const RegValueData& value) {
    return Status::FromRegistry(RegSetValueExW(key, name.c_str(), 0, value.type, value.data, value.size));
}

Status WriteRegText(HKEY key, const std::wstring& name, DWORD type, const std::wstring& text) {
    DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    if (text.size() >= kValueBytes / sizeof(wchar_t)) return Status::Fail(ERROR_INSUFFICIENT_BUFFER);
    return Status::FromRegistry(
        RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()), bytes));
}

Status DeleteRegValue(HKEY key, const std::wstring& name) {
    return Status::FromRegistry(RegDeleteValueW(key, name.c_str()));
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

bool SameRegValue(const RegValueData& a, const RegValueData& b) {
    return a.type == b.type && a.size == b.size && std::memcmp(a.data, b.data, a.size) == 0;
}

Status MoveRegValue(HKEY from, HKEY to, const std::wstring& name) {
    RegValueData moving;
    if (ReadRegValue(from, name, moving) != ValueRead::Ok) return ReadFailure(moving);
    RegValueData there;
    const ValueRead target = ReadRegValue(to, name, there);
    // A target we cannot read may be another entry: it is never written over.
    if (target == ValueRead::Unreadable) return ReadFailure(there);
    if (target == ValueRead::Ok) {
        // The same entry on both sides (a move cut short, or the program writing back
        // what was disabled): the copy is already where it goes, and only the source
        // is left to go. Another entry of that name stays, and so does this one.
        if (!SameRegValue(moving, there)) return Status::Fail(ERROR_ALREADY_EXISTS);
        return DeleteRegValue(from, name);
    }
    Status written = WriteRegValue(to, name, moving);
    if (!written) return written;
    Status deleted = DeleteRegValue(from, name);
    if (!deleted) DeleteRegValue(to, name);
    return deleted;
}

}  // namespace kiv
