#include "handlers/ListValue.h"

#include <vector>

#include "core/Records.h"
#include "handlers/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "iteminfo/FileFacts.h"
#include "platform/Handles.h"
#include "platform/RegPath.h"
#include "platform/Text.h"

namespace kiv {
namespace {

const wchar_t kSeparators[] = L" ,";

bool IsSeparator(wchar_t c) { return c == L' ' || c == L','; }

// A list value read as text, with the type its writes keep.
struct ListText {
    std::wstring text;
    DWORD type = REG_SZ;
};

// Collection reads the list whatever its type; an edit takes only a string value
// (anything else would be rewritten as text and lose what it held).
ValueRead ReadList(HKEY key, const std::wstring& name, ListText& list, bool forEdit = true) {
    RegValueData value;
    ValueRead read = ReadRegValue(key, name, value);
    if (read != ValueRead::Ok) return read;
    if (forEdit && !value.IsString()) return ValueRead::Unreadable;
    list.text = value.Text();
    list.type = value.type == REG_EXPAND_SZ ? REG_EXPAND_SZ : REG_SZ;
    return ValueRead::Ok;
}

bool WriteList(HKEY key, const std::wstring& name, const ListText& list) {
    return WriteRegText(key, name, list.type, list.text);
}

// Erases the whole entry at its first occurrence; the separators around it stay.
bool EraseEntry(std::wstring& text, const std::wstring& entry) {
    size_t at = FindListEntry(text, entry);
    if (at == std::wstring::npos) return false;
    text.erase(at, entry.size());
    return true;
}

// Adds the entry after one space unless the list already holds it.
void AppendEntry(std::wstring& text, const std::wstring& entry) {
    if (FindListEntry(text, entry) != std::wstring::npos) return;
    text = text.empty() ? entry : text + L" " + entry;
}

// Puts a value back as it was before a failed change: deleted when it was absent.
void RestoreList(HKEY key, const std::wstring& name, ValueRead before, const ListText& old) {
    if (before == ValueRead::Absent) RegDeleteValueW(key, name.c_str());
    else WriteList(key, name, old);
}

}  // namespace

size_t FindListEntry(const std::wstring& text, const std::wstring& entry) {
    if (entry.empty()) return std::wstring::npos;
    for (size_t at = text.find(entry); at != std::wstring::npos; at = text.find(entry, at + 1)) {
        size_t end = at + entry.size();
        bool startsWhole = at == 0 || IsSeparator(text[at - 1]);
        bool endsWhole = end == text.size() || IsSeparator(text[end]);
        if (startsWhole && endsWhole) return at;
    }
    return std::wstring::npos;
}

void ListCollect(Location* location, unsigned enabledPass, unsigned char wow64) {
    UniqueHKey key;
    if (!OpenPassKey(location, enabledPass, key)) return;
    ListText list;
    if (ReadList(key.Get(), location->m_value, list, false) != ValueRead::Ok || list.text.empty()) return;
    std::vector<std::wstring> tokens;
    SplitTokens(list.text, kSeparators, tokens);
    for (const std::wstring& token : tokens) {
        std::wstring file = token;
        if (!IsExecutableFile(token) || !ResolveEntry(file, wow64)) continue;
        auto* item = new CKivItem(token, file, location, GotoKind::RegistryValue, wow64, enabledPass, 0);
        item->m_regNames.push_back(token);
    }
}

int ListDisable(CKivItem* item) {
    if (!HasRegName(item)) return 0;
    const Location* location = item->m_location;
    const std::wstring& entry = item->m_regNames[0];
    UniqueHKey live, marker;
    ListText liveList;
    if (!OpenRegKey(location->m_root, location->m_path, live)) return 0;
    if (ReadList(live.Get(), location->m_value, liveList) != ValueRead::Ok) return 0;
    if (!EraseEntry(liveList.text, entry)) return 0;
    if (!CreateMarkerKey(live.Get(), marker)) return 0;
    // Only a marker value that is truly absent starts a fresh list.
    ListText before;
    ValueRead markerRead = ReadList(marker.Get(), location->m_value, before);
    if (markerRead == ValueRead::Unreadable) return 0;
    ListText markerList = markerRead == ValueRead::Ok ? before : ListText{std::wstring(), liveList.type};
    AppendEntry(markerList.text, entry);
    if (!WriteList(marker.Get(), location->m_value, markerList)) return 0;
    if (WriteList(live.Get(), location->m_value, liveList)) return 1;
    RestoreList(marker.Get(), location->m_value, markerRead, before);
    return 0;
}

int ListEnable(CKivItem* item) {
    if (!HasRegName(item)) return 0;
    const Location* location = item->m_location;
    const std::wstring& entry = item->m_regNames[0];
    const std::wstring markerPath = MarkerPath(location->m_path);
    {
        UniqueHKey marker, live;
        ListText markerList, liveList;
        if (!OpenRegKey(location->m_root, markerPath, marker)) return 0;
        if (ReadList(marker.Get(), location->m_value, markerList) != ValueRead::Ok) return 0;
        if (!EraseEntry(markerList.text, entry)) return 0;
        if (!OpenRegKey(location->m_root, location->m_path, live)) return 0;
        ValueRead liveRead = ReadList(live.Get(), location->m_value, liveList);
        if (liveRead == ValueRead::Unreadable) return 0;
        if (liveRead == ValueRead::Absent) liveList.type = markerList.type;
        AppendEntry(liveList.text, entry);
        if (!WriteList(live.Get(), location->m_value, liveList)) return 0;
        markerList.text = TrimWhiteSpace(markerList.text);
        if (markerList.text.empty()) RegDeleteValueW(marker.Get(), location->m_value.c_str());
        else WriteList(marker.Get(), location->m_value, markerList);
    }
    RemoveKeyIfEmpty(location->m_root, markerPath, static_cast<unsigned char>(item->m_win32));
    return 1;
}

int ListRemove(CKivItem* item) {
    if (!HasRegName(item)) return 0;
    const Location* location = item->m_location;
    const std::wstring path = item->m_enabled ? location->m_path : MarkerPath(location->m_path);
    int result = 0;
    {
        UniqueHKey key;
        if (!OpenRegKey(location->m_root, path, key)) return 0;
        ListText list;
        if (ReadList(key.Get(), location->m_value, list) == ValueRead::Ok &&
            EraseEntry(list.text, item->m_regNames[0])) {
            list.text = TrimWhiteSpace(list.text);
            if (!item->m_enabled && list.text.empty())
                result = RegDeleteValueW(key.Get(), location->m_value.c_str()) == ERROR_SUCCESS;
            else
                result = WriteList(key.Get(), location->m_value, list);
        }
    }
    if (!item->m_enabled) RemoveKeyIfEmpty(location->m_root, path, static_cast<unsigned char>(item->m_win32));
    return result;
}

}  // namespace kiv
