#include "handlers/steps/MultiStringEntries.h"

#include <algorithm>
#include <vector>

#include "core/Records.h"
#include "core/UserLocations.h"
#include "handlers/steps/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "platform/Handles.h"
#include "platform/RegPath.h"

namespace kiv {
namespace {

using Strings = std::vector<std::wstring>;

// A list that cannot be rewritten whole (a gap in it, a value of another kind in
// the way) refuses the change as invalid data.
const DWORD kListRefused = ERROR_INVALID_DATA;
// The entry is not where the item says it is.
const DWORD kEntryMissing = ERROR_NOT_FOUND;

bool IsHandledType(const RegValueData& value) { return value.IsString() || value.type == REG_MULTI_SZ; }

// A single string item stands for the location's whole value; an item made from a
// string of a multi-string that has since become a single string matches nothing.
bool NamesTheValue(const CKivItem* item) { return item->m_regNames[0] == item->m_location->m_value; }

// Moves a single string value between the live key and the marker subkey. A value
// of the same name but of list kind on the other side holds entries of its own and
// is never overwritten by it.
Status MoveSingleString(HKEY from, HKEY to, const CKivItem* item) {
    if (!NamesTheValue(item)) return Status::Fail(kEntryMissing);
    const std::wstring& name = item->m_location->m_value;
    RegValueData there;
    if (ReadRegValue(to, name, there) == ValueRead::Ok && there.type == REG_MULTI_SZ) return Status::Fail(kListRefused);
    return MoveRegValue(from, to, name);
}

// The strings of a multi-string value; false when the list has a gap (see
// SplitMultiString) and so must not be rewritten.
bool MultiStrings(const RegValueData& value, Strings& strings) {
    return SplitMultiString(reinterpret_cast<const wchar_t*>(value.data), value.size, strings);
}

// Each string with its NUL, then the closing NUL; an empty list is two NULs. Refused
// when the data would not fit the 520 bytes the value is read back with.
Status WriteMultiStrings(HKEY key, const std::wstring& name, const Strings& strings) {
    std::vector<wchar_t> data;
    for (const std::wstring& text : strings) {
        data.insert(data.end(), text.begin(), text.end());
        data.push_back(L'\0');
    }
    data.push_back(L'\0');
    if (strings.empty()) data.push_back(L'\0');
    const DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (bytes > kValueBytes) return Status::Fail(ERROR_INSUFFICIENT_BUFFER);
    return Status::FromRegistry(
        RegSetValueExW(key, name.c_str(), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()), bytes));
}

// Entries match as whole strings: "a.exe" never stands for "mya.exe".
bool TakeOut(Strings& strings, const std::wstring& entry) {
    auto at = std::find(strings.begin(), strings.end(), entry);
    if (at == strings.end()) return false;
    strings.erase(at);
    return true;
}

// The list without the entry; refused when the list has a gap or lacks the entry.
Status ListWithout(const RegValueData& value, const std::wstring& entry, Strings& strings) {
    if (!MultiStrings(value, strings)) return Status::Fail(kListRefused);
    return TakeOut(strings, entry) ? Status::Ok() : Status::Fail(kEntryMissing);
}

// Reads a multi-string that is about to be extended. An absent value is an empty
// list; one that cannot be read, or holds something other than a multi-string,
// must not be replaced.
Status ReadExtendable(HKEY key, const std::wstring& name, ValueRead& read, RegValueData& before, Strings& strings) {
    read = ReadRegValue(key, name, before);
    if (read == ValueRead::Unreadable) return ReadFailure(before);
    if (read == ValueRead::Absent) return Status::Ok();
    if (before.type != REG_MULTI_SZ || !MultiStrings(before, strings)) return Status::Fail(kListRefused);
    return Status::Ok();
}

// Undoes a write of ours: the value as it was, or none when there was none.
void PutBack(HKEY key, const std::wstring& name, ValueRead read, const RegValueData& before) {
    if (read == ValueRead::Absent) DeleteRegValue(key, name);
    else WriteRegValue(key, name, before);
}

// A marker list that has lost its last entry goes; the live list keeps its value.
Status StoreMarkerList(HKEY marker, const std::wstring& name, const Strings& strings) {
    if (strings.empty()) return DeleteRegValue(marker, name);
    return WriteMultiStrings(marker, name, strings);
}

// Moves one copy of the entry from one list to the other: the entry is added to
// the target list before it leaves the source list, and if the source write fails
// the target list is put back as it was. A copy already in the target is another
// entry of the list: each copy moves on its own, so none is lost.
using StoreList = Status (*)(HKEY key, const std::wstring& name, const Strings& strings);
Status MoveMultiEntry(HKEY from, HKEY to, const std::wstring& name, const std::wstring& entry,
                      const RegValueData& fromValue, StoreList storeFrom) {
    Strings fromList, toList;
    ValueRead read;
    RegValueData before;
    Status step = ListWithout(fromValue, entry, fromList);
    if (step) step = ReadExtendable(to, name, read, before, toList);
    if (!step) return step;
    toList.push_back(entry);
    step = WriteMultiStrings(to, name, toList);
    if (!step) return step;
    step = storeFrom(from, name, fromList);
    if (!step) PutBack(to, name, read, before);
    return step;
}

// The live list is written as it stands; an emptied marker list goes with its value.
Status DisableMultiEntry(HKEY live, HKEY marker, const std::wstring& name, const std::wstring& entry,
                         const RegValueData& liveValue) {
    return MoveMultiEntry(live, marker, name, entry, liveValue, &WriteMultiStrings);
}

Status EnableMultiEntry(HKEY live, HKEY marker, const std::wstring& name, const std::wstring& entry,
                        const RegValueData& markerValue) {
    return MoveMultiEntry(marker, live, name, entry, markerValue, &StoreMarkerList);
}

Status RemoveMultiEntry(HKEY key, const CKivItem* item, const RegValueData& value) {
    Strings strings;
    const Status step = ListWithout(value, item->m_regNames[0], strings);
    if (!step) return step;
    const std::wstring& name = item->m_location->m_value;
    if (!item->m_enabled) return StoreMarkerList(key, name, strings);
    return WriteMultiStrings(key, name, strings);
}

std::wstring FileNamePart(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void AddItem(Location* location, const std::wstring& entry, const std::wstring& regName, unsigned enabledPass,
             unsigned char wow64) {
    std::wstring file = InUsersFolders(location, entry);
    if (!ResolveEntry(file, wow64)) return;
    auto* item = new CKivItem(FileNamePart(file), file, location, GotoKind::RegistryValue, wow64, enabledPass, 0);
    item->m_regNames.push_back(regName);
}

// Reads the location's value for a change: a single string or a multi-string.
Status ReadHandled(HKEY key, const std::wstring& name, RegValueData& value) {
    if (ReadRegValue(key, name, value) != ValueRead::Ok) return ReadFailure(value);
    return IsHandledType(value) ? Status::Ok() : Status::Fail(kListRefused);
}

}  // namespace

void CollectValueEntries(Location* location, unsigned enabledPass, unsigned char wow64) {
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

Status DisableValueEntry(CKivItem* item) {
    if (!HasRegName(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    UniqueHKey live, marker;
    RegValueData value;
    Status step = OpenKeyToChange(location->m_root, location->m_path, live);
    if (step) step = ReadHandled(live.Get(), location->m_value, value);
    if (step) step = CreateMarkerKey(live.Get(), marker);
    if (!step) return step;
    if (value.IsString()) step = MoveSingleString(live.Get(), marker.Get(), item);
    else step = DisableMultiEntry(live.Get(), marker.Get(), location->m_value, item->m_regNames[0], value);
    RegFlushKey(marker.Get());
    RegFlushKey(live.Get());
    // A marker made for a move that was refused goes again.
    if (!step)
        RemoveKeyIfEmpty(location->m_root, MarkerPath(location->m_path), static_cast<unsigned char>(item->m_win32));
    return step;
}

Status EnableValueEntry(CKivItem* item) {
    if (!HasRegName(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    const std::wstring markerPath = MarkerPath(location->m_path);
    Status step;
    {
        UniqueHKey marker, live;
        RegValueData value;
        step = OpenKeyToChange(location->m_root, markerPath, marker);
        if (step) step = ReadHandled(marker.Get(), location->m_value, value);
        if (step) step = OpenKeyToChange(location->m_root, location->m_path, live);
        if (!step) return step;
        if (value.IsString()) step = MoveSingleString(marker.Get(), live.Get(), item);
        else step = EnableMultiEntry(live.Get(), marker.Get(), location->m_value, item->m_regNames[0], value);
        RegFlushKey(live.Get());
        RegFlushKey(marker.Get());
    }
    if (step) RemoveKeyIfEmpty(location->m_root, markerPath, static_cast<unsigned char>(item->m_win32));
    return step;
}

Status RemoveValueEntry(CKivItem* item) {
    if (!HasRegName(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    const std::wstring path = item->m_enabled ? location->m_path : MarkerPath(location->m_path);
    Status step;
    {
        UniqueHKey key;
        RegValueData value;
        step = OpenKeyToChange(location->m_root, path, key);
        if (step) step = ReadHandled(key.Get(), location->m_value, value);
        if (!step) return step;
        if (value.IsString())
            step = NamesTheValue(item) ? DeleteRegValue(key.Get(), location->m_value) : Status::Fail(kEntryMissing);
        else step = RemoveMultiEntry(key.Get(), item, value);
        RegFlushKey(key.Get());
    }
    if (step && !item->m_enabled) RemoveKeyIfEmpty(location->m_root, path, static_cast<unsigned char>(item->m_win32));
    return step;
}

}  // namespace kiv
