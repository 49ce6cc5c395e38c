#include "handlers/steps/MarkerEntries.h"

#include "core/KivHandler.h"
#include "core/Records.h"
#include "handlers/steps/RegistryTree.h"
#include "handlers/steps/RegistryValues.h"
#include "platform/Handles.h"
#include "platform/RegPath.h"

#include <vector>

namespace kiv {
namespace {

// One key that really holds a location's entries.
struct EntryPlace {
    HKEY root;
    std::wstring path;
};

// The classes root is a merged view: the user's classes over the machine's. A
// change made through it reaches only the copy in effect, so an entry is changed
// where its copies really live: the user's copy first (the one in effect), then
// the machine's, which takes effect as soon as the user's copy is gone.
std::vector<EntryPlace> EntryPlaces(const CKivItem* item) {
    const Location* location = item->m_location;
    const std::wstring path = EntryKeyPath(item);
    if (location->m_root != HKEY_CLASSES_ROOT) return {{location->m_root, path}};
    const std::wstring classes = L"Software\\Classes\\" + path;
    return {{HKEY_CURRENT_USER, classes}, {HKEY_LOCAL_MACHINE, classes}};
}

// A marker subkey left without entries goes, so that a location looks as it did
// before anything was disabled in it.
void DropEmptyMarker(const CKivItem* item, HKEY root, const std::wstring& markerPath) {
    RemoveKeyIfEmpty(root, markerPath, static_cast<unsigned char>(item->m_win32));
}

// Opens a place's live key (and its marker subkey) when the entry stands in the
// one given; the first failure is the outcome.
Status OpenHolder(const EntryPlace& place, bool inMarker, const std::wstring& name, const EntrySteps& steps,
                  UniqueHKey& live, UniqueHKey& marker) {
    Status step = OpenKeyToChange(place.root, place.path, live);
    if (step && inMarker) step = OpenKeyToChange(live.Get(), kMarker, marker);
    if (step) step = steps.exists(inMarker ? marker.Get() : live.Get(), name);
    return step;
}

// Whether the entry stands in the place's live key (or in its marker subkey),
// asked with read access only: a place that the user may not change but that
// does not hold the entry is no obstacle.
Status Holds(const EntryPlace& place, bool inMarker, const std::wstring& name, const EntrySteps& steps) {
    UniqueHKey live, marker;
    Status step = Status::FromRegistry(RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_READ, live.Put()));
    if (step && inMarker) step = Status::FromRegistry(RegOpenKeyExW(live.Get(), kMarker, 0, KEY_READ, marker.Put()));
    if (step) step = steps.exists(inMarker ? marker.Get() : live.Get(), name);
    return step;
}

bool IsAbsence(const Status& status) {
    return status.Code() == ERROR_FILE_NOT_FOUND || status.Code() == ERROR_PATH_NOT_FOUND;
}

// The places that hold the entry. A place that cannot be read is a failure, not
// an absence: a copy there could stay in effect while the action reports success.
// With no place holding it, the outcome is the cause of the last absence.
Status PlacesHolding(const CKivItem* item, bool inMarker, const EntrySteps& steps, std::vector<EntryPlace>& holding) {
    Status absence = Status::Fail(ERROR_FILE_NOT_FOUND);
    for (const EntryPlace& place : EntryPlaces(item)) {
        const Status held = Holds(place, inMarker, item->m_regNames[0], steps);
        if (held) holding.push_back(place);
        else if (IsAbsence(held)) absence = held;
        else return held;
    }
    return holding.empty() ? absence : Status::Ok();
}

Status MoveToMarker(const CKivItem* item, const EntryPlace& place, const EntrySteps& steps) {
    Status step;
    {
        UniqueHKey live, marker;
        step = OpenHolder(place, false, item->m_regNames[0], steps, live, marker);
        // Nothing to move means nothing to make: the marker subkey is created only for
        // an entry that is there, and goes again when the move is refused.
        if (step) step = CreateMarkerKey(live.Get(), marker);
        if (step) step = steps.move(live.Get(), marker.Get(), item->m_regNames[0]);
    }
    if (!step) DropEmptyMarker(item, place.root, MarkerPath(place.path));
    return step;
}

Status MoveBack(const CKivItem* item, const EntryPlace& place, const EntrySteps& steps) {
    Status step;
    {
        UniqueHKey live, marker;
        step = OpenHolder(place, true, item->m_regNames[0], steps, live, marker);
        if (step) step = steps.move(marker.Get(), live.Get(), item->m_regNames[0]);
    }
    if (step) DropEmptyMarker(item, place.root, MarkerPath(place.path));
    return step;
}

// Moves the entry, at every place that holds it, into its marker subkey or back
// out of it. Half moved is neither state: after a failure the places moved so far
// are moved back, and the action fails.
Status MoveEverywhere(CKivItem* item, const EntrySteps& steps, bool intoMarker) {
    if (!steps.named(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const auto move = [&](const EntryPlace& place, bool toMarker) {
        return toMarker ? MoveToMarker(item, place, steps) : MoveBack(item, place, steps);
    };
    std::vector<EntryPlace> holding, moved;
    Status step = PlacesHolding(item, !intoMarker, steps, holding);
    for (const EntryPlace& place : holding) {
        if (!step) break;
        step = move(place, intoMarker);
        if (step) moved.push_back(place);
    }
    if (!step)
        for (const EntryPlace& done : moved) move(done, !intoMarker);
    return step;
}

}  // namespace

Status DisableMarkerEntry(CKivItem* item, const EntrySteps& steps) { return MoveEverywhere(item, steps, true); }

Status EnableMarkerEntry(CKivItem* item, const EntrySteps& steps) { return MoveEverywhere(item, steps, false); }

Status RemoveMarkerEntry(CKivItem* item, const EntrySteps& steps) {
    if (!steps.named(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    std::vector<EntryPlace> holding;
    Status step = PlacesHolding(item, !item->m_enabled, steps, holding);
    for (const EntryPlace& place : holding) {
        if (!step) break;
        const std::wstring path = item->m_enabled ? place.path : MarkerPath(place.path);
        {
            UniqueHKey key;
            step = OpenKeyToChange(place.root, path, key);
            if (step) step = steps.erase(key.Get(), item->m_regNames[0]);
        }
        if (step && !item->m_enabled) DropEmptyMarker(item, place.root, path);
    }
    return step;
}

void ForEachKeptEntry(const Location* location,
                      const std::function<void(HKEY store, const std::wstring& id, bool removed)>& visit) {
    for (const wchar_t* store : {kMarker, kRemovedMarker}) {
        UniqueHKey kept;
        if (!OpenKeyToRead(location->m_root, location->m_path + L"\\" + store, kept)) continue;
        EnumRegSubkeys(kept.Get(), [&](const std::wstring& id) { visit(kept.Get(), id, store == kRemovedMarker); });
    }
}

}  // namespace kiv
