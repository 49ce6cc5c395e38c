#include "handlers/steps/MarkerEntries.h"

#include "core/Records.h"
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
std::vector<EntryPlace> EntryPlaces(const Location* location) {
    if (location->m_root != HKEY_CLASSES_ROOT) return {{location->m_root, location->m_path}};
    const std::wstring classes = L"Software\\Classes\\" + location->m_path;
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
    Status step = OpenRegKey(place.root, place.path, live);
    if (step && inMarker) step = OpenRegKey(live.Get(), kMarker, marker);
    if (step) step = steps.exists(inMarker ? marker.Get() : live.Get(), name);
    return step;
}

// Whether the entry stands in the place's live key (or in its marker subkey).
Status Holds(const EntryPlace& place, bool inMarker, const std::wstring& name, const EntrySteps& steps) {
    UniqueHKey live, marker;
    return OpenHolder(place, inMarker, name, steps, live, marker);
}

Status MoveToMarker(const EntryPlace& place, const std::wstring& name, const EntrySteps& steps) {
    UniqueHKey live, marker;
    Status step = OpenHolder(place, false, name, steps, live, marker);
    // Nothing to move means nothing to make: the marker subkey is created only for an
    // entry that is there.
    if (step) step = CreateMarkerKey(live.Get(), marker);
    if (step) step = steps.move(live.Get(), marker.Get(), name);
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

}  // namespace

Status DisableMarkerEntry(CKivItem* item, const EntrySteps& steps) {
    if (!steps.named(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const std::wstring& name = item->m_regNames[0];
    std::vector<EntryPlace> moved;
    Status outcome = Status::Fail(ERROR_FILE_NOT_FOUND);
    for (const EntryPlace& place : EntryPlaces(item->m_location)) {
        Status held = Holds(place, false, name, steps);
        if (!held) {
            if (moved.empty()) outcome = held;  // the cause of a place that holds nothing
            continue;
        }
        Status step = MoveToMarker(place, name, steps);
        if (!step) {
            // A copy that stays live would keep the entry running: the copies moved so
            // far go back and the disable fails.
            for (const EntryPlace& done : moved) MoveBack(item, done, steps);
            return step;
        }
        moved.push_back(place);
        outcome = step;
    }
    return outcome;
}

Status EnableMarkerEntry(CKivItem* item, const EntrySteps& steps) {
    if (!steps.named(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    Status outcome = Status::Fail(ERROR_FILE_NOT_FOUND);
    bool enabledOne = false;
    for (const EntryPlace& place : EntryPlaces(item->m_location)) {
        Status held = Holds(place, true, item->m_regNames[0], steps);
        if (!held) {
            if (!enabledOne) outcome = held;
            continue;
        }
        Status step = MoveBack(item, place, steps);
        if (!step) return step;
        enabledOne = true;
        outcome = step;
    }
    return outcome;
}

Status RemoveMarkerEntry(CKivItem* item, const EntrySteps& steps) {
    if (!steps.named(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    Status outcome = Status::Fail(ERROR_FILE_NOT_FOUND);
    bool removedOne = false;
    for (const EntryPlace& place : EntryPlaces(item->m_location)) {
        const std::wstring path = item->m_enabled ? place.path : MarkerPath(place.path);
        Status step;
        {
            UniqueHKey key;
            step = OpenRegKey(place.root, path, key);
            if (step) step = steps.exists(key.Get(), item->m_regNames[0]);
            if (!step) {
                if (!removedOne) outcome = step;
                continue;
            }
            step = steps.erase(key.Get(), item->m_regNames[0]);
        }
        if (!step) return step;
        if (!item->m_enabled) DropEmptyMarker(item, place.root, path);
        removedOne = true;
        outcome = step;
    }
    return outcome;
}

}  // namespace kiv
