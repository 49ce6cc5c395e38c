#include "handlers/steps/ListEntries.h"

#include <utility>
#include <vector>

#include "core/Records.h"
#include "core/UserLocations.h"
#include "handlers/steps/EntryOptions.h"
#include "handlers/steps/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "iteminfo/FileFacts.h"
#include "platform/Text.h"
#include "platform/Handles.h"
#include "platform/Navigation.h"
#include "platform/RegPath.h"

namespace kiv {
namespace {

const wchar_t kSeparators[] = L" ,";

bool IsSeparator(wchar_t c) { return c == L' ' || c == L','; }

// Separators alone are no entry: a marker list left with nothing else goes.
bool HoldsNoEntry(const std::wstring& text) { return text.find_first_not_of(L" ,\t") == std::wstring::npos; }

// A list value read as text, with the type its writes keep.
struct ListText {
    std::wstring text;
    DWORD type = REG_SZ;
};

// Collection reads the list whatever its type.
ValueRead ReadList(HKEY key, const std::wstring& name, ListText& list) {
    RegValueData value;
    ValueRead read = ReadRegValue(key, name, value);
    if (read != ValueRead::Ok) return read;
    list.text = value.Text();
    list.type = value.type == REG_EXPAND_SZ ? REG_EXPAND_SZ : REG_SZ;
    return ValueRead::Ok;
}

Status WriteList(HKEY key, const std::wstring& name, const ListText& list) {
    return WriteRegText(key, name, list.type, list.text);
}

// Erases the whole entry at its first occurrence; the separators around it stay.
// A list without the entry answers that it was not found.
Status EraseWord(std::wstring& text, const std::wstring& entry) {
    size_t at = FindListEntry(text, entry);
    if (at == std::wstring::npos) return Status::Fail(ERROR_NOT_FOUND);
    text.erase(at, entry.size());
    return Status::Ok();
}

// Erases the first element equal to the entry with one comma beside it, so that no
// empty element is left behind: the comma after it, or the one before the last.
Status EraseElement(std::wstring& text, const std::wstring& entry) {
    size_t begin = 0, end = 0;
    if (!FindListElement(text, entry, begin, end)) return Status::Fail(ERROR_NOT_FOUND);
    if (end < text.size()) ++end;  // the comma that closes it
    else if (begin > 0) --begin;   // the last element: the comma that opens it
    text.erase(begin, end - begin);
    return Status::Ok();
}

Status EraseEntry(std::wstring& text, const std::wstring& entry, ListStyle style) {
    return style == ListStyle::Elements ? EraseElement(text, entry) : EraseWord(text, entry);
}

// Reads a list that is about to change, which takes a string value (anything else
// would be rewritten as text and lose what it held). An absent value is no list:
// read tells it apart for the callers that start a fresh one.
Status ReadListOrNone(HKEY key, const std::wstring& name, ListText& list, ValueRead& read) {
    RegValueData value;
    read = ReadRegValue(key, name, value);
    if (read == ValueRead::Absent) return Status::Ok();
    if (read == ValueRead::Unreadable) return ReadFailure(value);
    if (!value.IsString()) return Status::Fail(ERROR_INVALID_DATA);
    list.text = value.Text();
    list.type = value.type == REG_EXPAND_SZ ? REG_EXPAND_SZ : REG_SZ;
    return Status::Ok();
}

Status ReadListForEdit(HKEY key, const std::wstring& name, ListText& list) {
    ValueRead read;
    const Status step = ReadListOrNone(key, name, list, read);
    if (step && read == ValueRead::Absent) return Status::Fail(ERROR_FILE_NOT_FOUND);
    return step;
}

// Adds the entry after one space. A copy already there is another entry of the
// list and stays: each copy is moved on its own.
void AppendWord(std::wstring& text, const std::wstring& entry) { text = text.empty() ? entry : text + L" " + entry; }

// Adds the entry as a new element after one comma, none when the list already ends
// with one (blanks after it dropped), so no empty element comes in.
void AppendElement(std::wstring& text, const std::wstring& entry) {
    text.erase(text.find_last_not_of(L" \t") + 1);
    if (!text.empty() && text.back() != L',') text += L',';
    text += entry;
}

void AppendEntry(std::wstring& text, const std::wstring& entry, ListStyle style) {
    if (style == ListStyle::Elements) AppendElement(text, entry);
    else AppendWord(text, entry);
}

// Where each comma-delimited element of text starts and ends, commas excluded.
std::vector<std::pair<size_t, size_t>> ElementSpans(const std::wstring& text) {
    std::vector<std::pair<size_t, size_t>> spans;
    for (size_t begin = 0; begin <= text.size();) {
        size_t comma = text.find(L',', begin);
        if (comma == std::wstring::npos) comma = text.size();
        spans.emplace_back(begin, comma);
        begin = comma + 1;
    }
    return spans;
}

std::wstring ElementText(const std::wstring& text, const std::pair<size_t, size_t>& span) {
    return TrimWhiteSpace(text.substr(span.first, span.second - span.first));
}

// The entries of a list in the given style, in their order.
void SplitList(const std::wstring& text, ListStyle style, std::vector<std::wstring>& entries) {
    if (style == ListStyle::Words) return SplitTokens(text, kSeparators, entries);
    for (const auto& span : ElementSpans(text)) {
        std::wstring element = ElementText(text, span);
        if (!element.empty()) entries.push_back(std::move(element));
    }
}

// Winlogon's marker holds whole elements, each closed by a comma, so that a path
// with blanks stays whole; a marker without a comma was written by an earlier
// version, as blank-separated names.
bool IsElementMarker(const std::wstring& text) { return text.find(L',') != std::wstring::npos; }

// Ends a marker of elements with the comma that closes its last element.
void CloseElements(std::wstring& text) {
    text.erase(text.find_last_not_of(L" \t") + 1);
    if (!HoldsNoEntry(text) && text.back() != L',') text += L',';
}

void SplitMarker(const std::wstring& text, ListStyle style, std::vector<std::wstring>& entries) {
    if (style == ListStyle::Elements && IsElementMarker(text)) SplitList(text, ListStyle::Elements, entries);
    else SplitTokens(text, kSeparators, entries);
}

// Adds an entry to a marker. An earlier version's names become elements first.
void AppendMarkerEntry(std::wstring& text, const std::wstring& entry, ListStyle style) {
    if (style == ListStyle::Words) return AppendWord(text, entry);
    if (!IsElementMarker(text)) {
        std::vector<std::wstring> names;
        SplitTokens(text, kSeparators, names);
        text.clear();
        for (const std::wstring& name : names) text += name + L",";
    }
    CloseElements(text);
    text += entry + L",";
}

Status EraseMarkerEntry(std::wstring& text, const std::wstring& entry, ListStyle style) {
    if (style == ListStyle::Words || !IsElementMarker(text)) return EraseWord(text, entry);
    const Status step = EraseElement(text, entry);
    if (step) CloseElements(text);
    return step;
}

// Puts a value back as it was before a failed change: deleted when it was absent.
void RestoreList(HKEY key, const std::wstring& name, ValueRead before, const ListText& old) {
    if (before == ValueRead::Absent) DeleteRegValue(key, name);
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

bool FindListElement(const std::wstring& text, const std::wstring& entry, size_t& begin, size_t& end) {
    if (entry.empty()) return false;
    for (const auto& span : ElementSpans(text)) {
        if (ElementText(text, span) != entry) continue;
        begin = span.first;
        end = span.second;
        return true;
    }
    return false;
}

void ListCollect(Location* location, unsigned enabledPass, unsigned char wow64, ListStyle style) {
    UniqueHKey key;
    if (!OpenPassKey(location, enabledPass, key)) return;
    ListText list;
    if (ReadList(key.Get(), location->m_value, list) != ValueRead::Ok || list.text.empty()) return;
    std::vector<std::wstring> tokens;
    if (enabledPass) SplitList(list.text, style, tokens);
    else SplitMarker(list.text, style, tokens);
    for (const std::wstring& token : tokens) {
        std::wstring file = InUsersFolders(location, token);
        // An entry may name a key that holds its file rather than the file itself.
        const bool found = location->m_options.refKey.empty() ? IsExecutableFile(token) && ResolveEntry(file, wow64)
                                                              : ReferencedFile(location, token, wow64, file);
        if (!found) continue;
        auto* item = new CKivItem(token, file, location, GotoKind::RegistryValue, wow64, enabledPass, 0);
        item->m_regNames.push_back(token);
    }
}

Status ListDisable(CKivItem* item, ListStyle style) {
    if (!HasRegName(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    const std::wstring& entry = item->m_regNames[0];
    const std::wstring markerPath = MarkerPath(location->m_path);
    Status step;
    {
        // The live key is opened for what each step does: to read it and make the
        // marker below it first, to write its list last, once the entry is kept in
        // the marker; a live list that may not be written then takes it out again.
        UniqueHKey live, marker, writable;
        ListText liveList, before;
        ValueRead markerRead = ValueRead::Absent;
        step = Status::FromRegistry(
            RegOpenKeyExW(location->m_root, location->m_path.c_str(), 0, KEY_READ | KEY_CREATE_SUB_KEY, live.Put()));
        if (step) step = ReadListForEdit(live.Get(), location->m_value, liveList);
        if (step) step = EraseEntry(liveList.text, entry, style);
        if (step) step = CreateMarkerKey(live.Get(), marker);
        // Only a marker value that is truly absent starts a fresh list.
        if (step) step = ReadListOrNone(marker.Get(), location->m_value, before, markerRead);
        ListText markerList = markerRead == ValueRead::Ok ? before : ListText{std::wstring(), liveList.type};
        AppendMarkerEntry(markerList.text, entry, style);
        if (step) step = WriteList(marker.Get(), location->m_value, markerList);
        if (step) {
            step = OpenKeyToChange(location->m_root, location->m_path, writable);
            if (step) step = WriteList(writable.Get(), location->m_value, liveList);
            if (step) return step;
            RestoreList(marker.Get(), location->m_value, markerRead, before);
        }
    }
    // A marker made for this entry alone goes again.
    RemoveKeyIfEmpty(location->m_root, markerPath, static_cast<unsigned char>(item->m_win32));
    return step;
}

Status ListEnable(CKivItem* item, ListStyle style) {
    if (!HasRegName(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    const std::wstring& entry = item->m_regNames[0];
    const std::wstring markerPath = MarkerPath(location->m_path);
    {
        UniqueHKey marker, live;
        ListText markerList, liveList;
        ValueRead liveRead = ValueRead::Absent;
        // The marker is read here and opened to change only once the entry is back in
        // the live list: a marker that may not be changed then takes it out again.
        Status step = OpenKeyToRead(location->m_root, markerPath, marker);
        if (step) step = ReadListForEdit(marker.Get(), location->m_value, markerList);
        if (step) step = EraseMarkerEntry(markerList.text, entry, style);
        if (step) step = OpenKeyToChange(location->m_root, location->m_path, live);
        if (step) step = ReadListOrNone(live.Get(), location->m_value, liveList, liveRead);
        if (!step) return step;
        if (liveRead == ValueRead::Absent) liveList.type = markerList.type;
        const ListText before = liveList;
        AppendEntry(liveList.text, entry, style);
        step = WriteList(live.Get(), location->m_value, liveList);
        if (!step) return step;
        markerList.text = TrimWhiteSpace(markerList.text);
        step = OpenKeyToChange(location->m_root, markerPath, marker);
        if (step && HoldsNoEntry(markerList.text)) step = DeleteRegValue(marker.Get(), location->m_value);
        else if (step) step = WriteList(marker.Get(), location->m_value, markerList);
        // An entry left in the marker as well would be listed in both states.
        if (!step) {
            RestoreList(live.Get(), location->m_value, liveRead, before);
            return step;
        }
    }
    RemoveKeyIfEmpty(location->m_root, markerPath, static_cast<unsigned char>(item->m_win32));
    return Status::Ok();
}

Status ListRemove(CKivItem* item, ListStyle style) {
    if (!HasRegName(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    const std::wstring path = item->m_enabled ? location->m_path : MarkerPath(location->m_path);
    Status step;
    {
        UniqueHKey key;
        step = OpenKeyToChange(location->m_root, path, key);
        if (!step) return step;
        ListText list;
        step = ReadListForEdit(key.Get(), location->m_value, list);
        if (step)
            step = item->m_enabled ? EraseEntry(list.text, item->m_regNames[0], style)
                                   : EraseMarkerEntry(list.text, item->m_regNames[0], style);
        if (step) {
            list.text = TrimWhiteSpace(list.text);
            if (!item->m_enabled && HoldsNoEntry(list.text)) step = DeleteRegValue(key.Get(), location->m_value);
            else step = WriteList(key.Get(), location->m_value, list);
        }
    }
    if (!item->m_enabled) RemoveKeyIfEmpty(location->m_root, path, static_cast<unsigned char>(item->m_win32));
    return step;
}

int GoToLocationValue(CKivItem* item) {
    if (!item || !item->m_location) return 0;
    const Location* location = item->m_location;
    const std::wstring key = item->m_enabled ? location->m_path : MarkerPath(location->m_path);
    return NavigateRegEdit(location->m_root, key.c_str(), location->m_value.c_str());
}

}  // namespace kiv
