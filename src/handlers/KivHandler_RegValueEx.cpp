#include "handlers/KivHandler_RegValueEx.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <vector>

#include "core/Records.h"
#include "handlers/ListValue.h"
#include "handlers/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "platform/Handles.h"
#include "platform/Navigation.h"
#include "platform/RegPath.h"
#include "platform/Text.h"

namespace kiv {
namespace {

using Strings = std::vector<std::wstring>;

const wchar_t kWinlogonKey[] = L"microsoft\\windows nt\\currentversion\\winlogon";

bool IsWholeWordNoCase(const std::wstring& text, const wchar_t* word) {
    const size_t length = wcslen(word);
    return text.size() == length && PrefixCompare(text.c_str(), word, length) == 0;
}

bool IsHandledType(const RegValueData& value) { return value.IsString() || value.type == REG_MULTI_SZ; }

// A single string item stands for the location's whole value; an item made from a
// string of a multi-string that has since become a single string matches nothing.
bool NamesTheValue(const CKivItem* item) { return item->m_regNames[0] == item->m_location->m_value; }

// Moves a single string value between the live key and the marker subkey. A value
// of the same name but of list kind on the other side holds entries of its own and
// is never overwritten by it.
bool MoveSingleString(HKEY from, HKEY to, const CKivItem* item) {
    if (!NamesTheValue(item)) return false;
    const std::wstring& name = item->m_location->m_value;
    RegValueData there;
    if (ReadRegValue(to, name, there) == ValueRead::Ok && there.type == REG_MULTI_SZ) return false;
    return MoveRegValue(from, to, name);
}

// The strings of a multi-string value; false when the list has a gap (see
// SplitMultiString) and so must not be rewritten.
bool MultiStrings(const RegValueData& value, Strings& strings) {
    return SplitMultiString(reinterpret_cast<const wchar_t*>(value.data), value.size, strings);
}

// Each string with its NUL, then the closing NUL; an empty list is two NULs. Refused
// when the data would not fit the 520 bytes the value is read back with.
bool WriteMultiStrings(HKEY key, const std::wstring& name, const Strings& strings) {
    std::vector<wchar_t> data;
    for (const std::wstring& text : strings) {
        data.insert(data.end(), text.begin(), text.end());
        data.push_back(L'\0');
    }
    data.push_back(L'\0');
    if (strings.empty()) data.push_back(L'\0');
    const DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (bytes > kValueBytes) return false;
    return RegSetValueExW(key, name.c_str(), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()), bytes) ==
           ERROR_SUCCESS;
}

// Entries match as whole strings: "a.exe" never stands for "mya.exe".
bool TakeOut(Strings& strings, const std::wstring& entry) {
    auto at = std::find(strings.begin(), strings.end(), entry);
    if (at == strings.end()) return false;
    strings.erase(at);
    return true;
}

bool Holds(const Strings& strings, const std::wstring& entry) {
    return std::find(strings.begin(), strings.end(), entry) != strings.end();
}

// Reads a multi-string that is about to be extended. An absent value is an empty
// list; one that cannot be read, or holds something other than a multi-string,
// must not be replaced.
bool ReadExtendable(HKEY key, const std::wstring& name, ValueRead& read, RegValueData& before, Strings& strings) {
    read = ReadRegValue(key, name, before);
    if (read == ValueRead::Unreadable) return false;
    if (read == ValueRead::Absent) return true;
    if (before.type != REG_MULTI_SZ) return false;
    return MultiStrings(before, strings);
}

// Undoes a write of ours: the value as it was, or none when there was none.
void PutBack(HKEY key, const std::wstring& name, ValueRead read, const RegValueData& before) {
    if (read == ValueRead::Absent) RegDeleteValueW(key, name.c_str());
    else WriteRegValue(key, name, before);
}

// A marker list that has lost its last entry goes; the live list keeps its value.
bool StoreMarkerList(HKEY marker, const std::wstring& name, const Strings& strings) {
    if (strings.empty()) return RegDeleteValueW(marker, name.c_str()) == ERROR_SUCCESS;
    return WriteMultiStrings(marker, name, strings);
}

// The entry is added to the marker list (unless already there) before it leaves the
// live list; if the live write fails the marker list is put back as it was.
int DisableMultiEntry(HKEY live, HKEY marker, const std::wstring& name, const std::wstring& entry,
                      const RegValueData& liveValue) {
    Strings liveList;
    if (!MultiStrings(liveValue, liveList)) return 0;
    if (!TakeOut(liveList, entry)) return 0;
    ValueRead read;
    RegValueData before;
    Strings markerList;
    if (!ReadExtendable(marker, name, read, before, markerList)) return 0;
    const bool addToMarker = !Holds(markerList, entry);
    if (addToMarker) {
        markerList.push_back(entry);
        if (!WriteMultiStrings(marker, name, markerList)) return 0;
    }
    if (WriteMultiStrings(live, name, liveList)) return 1;
    if (addToMarker) PutBack(marker, name, read, before);
    return 0;
}

// An entry already back in the live list is not added twice; if the marker write
// fails the live list is put back as it was.
int EnableMultiEntry(HKEY live, HKEY marker, const std::wstring& name, const std::wstring& entry,
                     const RegValueData& markerValue) {
    Strings markerList;
    if (!MultiStrings(markerValue, markerList)) return 0;
    if (!TakeOut(markerList, entry)) return 0;
    ValueRead read;
    RegValueData before;
    Strings liveList;
    if (!ReadExtendable(live, name, read, before, liveList) || Holds(liveList, entry)) return 0;
    liveList.push_back(entry);
    if (!WriteMultiStrings(live, name, liveList)) return 0;
    if (StoreMarkerList(marker, name, markerList)) return 1;
    PutBack(live, name, read, before);
    return 0;
}

int RemoveMultiEntry(HKEY key, const CKivItem* item, const RegValueData& value) {
    Strings strings;
    if (!MultiStrings(value, strings)) return 0;
    if (!TakeOut(strings, item->m_regNames[0])) return 0;
    const std::wstring& name = item->m_location->m_value;
    if (!item->m_enabled) return StoreMarkerList(key, name, strings) ? 1 : 0;
    return WriteMultiStrings(key, name, strings) ? 1 : 0;
}

std::wstring FileNamePart(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void AddItem(Location* location, const std::wstring& entry, const std::wstring& regName, unsigned enabledPass,
             unsigned char wow64) {
    std::wstring file = entry;
    if (!ResolveEntry(file, wow64)) return;
    auto* item = new CKivItem(FileNamePart(file), file, location, GotoKind::RegistryValue, wow64, enabledPass, 0);
    item->m_regNames.push_back(regName);
}

void CollectValue(Location* location, unsigned enabledPass, unsigned char wow64) {
    UniqueHKey key;
    if (!OpenPassKey(location, enabledPass, key)) return;
    RegValueData value;
    if (ReadRegValue(key.Get(), location->m_value, value) != ValueRead::Ok) return;
    if (value.IsString()) {
        AddItem(location, value.Text(), location->m_value, enabledPass, wow64);
        return;
    }
    if (value.type != REG_MULTI_SZ) return;
    Strings strings;
    MultiStrings(value, strings);  // listing stops at a gap; only changes refuse one
    for (const std::wstring& text : strings) AddItem(location, text, text, enabledPass, wow64);
}

int DisableValueItem(CKivItem* item) {
    const Location* location = item->m_location;
    UniqueHKey live, marker;
    RegValueData value;
    if (!OpenRegKey(location->m_root, location->m_path, live)) return 0;
    if (ReadRegValue(live.Get(), location->m_value, value) != ValueRead::Ok || !IsHandledType(value)) return 0;
    if (!CreateMarkerKey(live.Get(), marker)) return 0;
    int result = 0;
    if (value.IsString())
        result = MoveSingleString(live.Get(), marker.Get(), item) ? 1 : 0;
    else
        result = DisableMultiEntry(live.Get(), marker.Get(), location->m_value, item->m_regNames[0], value);
    RegFlushKey(marker.Get());
    RegFlushKey(live.Get());
    return result;
}

int EnableValueItem(CKivItem* item) {
    const Location* location = item->m_location;
    const std::wstring markerPath = MarkerPath(location->m_path);
    int result = 0;
    {
        UniqueHKey marker, live;
        RegValueData value;
        if (!OpenRegKey(location->m_root, markerPath, marker)) return 0;
        if (ReadRegValue(marker.Get(), location->m_value, value) != ValueRead::Ok || !IsHandledType(value))
            return 0;
        if (!OpenRegKey(location->m_root, location->m_path, live)) return 0;
        if (value.IsString())
            result = MoveSingleString(marker.Get(), live.Get(), item) ? 1 : 0;
        else
            result = EnableMultiEntry(live.Get(), marker.Get(), location->m_value, item->m_regNames[0], value);
        RegFlushKey(live.Get());
        RegFlushKey(marker.Get());
    }
    if (result) RemoveKeyIfEmpty(location->m_root, markerPath, static_cast<unsigned char>(item->m_win32));
    return result;
}

int RemoveValueItem(CKivItem* item) {
    const Location* location = item->m_location;
    const std::wstring path = item->m_enabled ? location->m_path : MarkerPath(location->m_path);
    int result = 0;
    {
        UniqueHKey key;
        RegValueData value;
        if (!OpenRegKey(location->m_root, path, key)) return 0;
        if (ReadRegValue(key.Get(), location->m_value, value) != ValueRead::Ok) return 0;
        if (value.IsString())
            result = NamesTheValue(item) && RegDeleteValueW(key.Get(), location->m_value.c_str()) == ERROR_SUCCESS;
        else if (value.type == REG_MULTI_SZ)
            result = RemoveMultiEntry(key.Get(), item, value);
        RegFlushKey(key.Get());
    }
    if (result && !item->m_enabled)
        RemoveKeyIfEmpty(location->m_root, path, static_cast<unsigned char>(item->m_win32));
    return result;
}

}  // namespace

bool IsWinlogonList(const Location* location) {
    if (!location) return false;
    std::wstring path = location->m_path;
    for (wchar_t& c : path) c = static_cast<wchar_t>(towlower(c));
    if (path.find(kWinlogonKey) == std::wstring::npos) return false;
    return IsWholeWordNoCase(location->m_value, L"UserInit") || IsWholeWordNoCase(location->m_value, L"Shell");
}

int GoToLocationValue(CKivItem* item) {
    if (!item || !item->m_location) return 0;
    const Location* location = item->m_location;
    const std::wstring key = item->m_enabled ? location->m_path : MarkerPath(location->m_path);
    return NavigateRegEdit(location->m_root, key.c_str(), location->m_value.c_str());
}

}  // namespace kiv

CKivHandler_RegValueEx::~CKivHandler_RegValueEx() = default;

int CKivHandler_RegValueEx::DisableItem(CKivItem* item) {
    if (!kiv::HasRegName(item)) return 0;
    return kiv::IsWinlogonList(item->m_location) ? kiv::ListDisable(item) : kiv::DisableValueItem(item);
}

int CKivHandler_RegValueEx::EnableItem(CKivItem* item) {
    if (!kiv::HasRegName(item)) return 0;
    return kiv::IsWinlogonList(item->m_location) ? kiv::ListEnable(item) : kiv::EnableValueItem(item);
}

int CKivHandler_RegValueEx::RemoveItem(CKivItem* item) {
    if (!kiv::HasRegName(item)) return 0;
    return kiv::IsWinlogonList(item->m_location) ? kiv::ListRemove(item) : kiv::RemoveValueItem(item);
}

void CKivHandler_RegValueEx::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (!location) return;
    if (kiv::IsWinlogonList(location)) kiv::ListCollect(location, enabledPass, wow64);
    else kiv::CollectValue(location, enabledPass, wow64);
}

int CKivHandler_RegValueEx::GoTo(CKivItem* item) { return kiv::GoToLocationValue(item); }
