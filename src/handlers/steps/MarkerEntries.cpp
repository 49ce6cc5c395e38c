#include "handlers/steps/MarkerEntries.h"

#include "core/Records.h"
#include "handlers/steps/RegistryValues.h"
#include "platform/Handles.h"
#include "platform/RegPath.h"

namespace kiv {
namespace {

// A marker subkey left without entries goes, so that a location looks as it did
// before anything was disabled in it.
void DropEmptyMarker(const CKivItem* item, const std::wstring& markerPath) {
    RemoveKeyIfEmpty(item->m_location->m_root, markerPath, static_cast<unsigned char>(item->m_win32));
}

}  // namespace

Status DisableMarkerEntry(CKivItem* item, const EntrySteps& steps) {
    if (!steps.named(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    const std::wstring& name = item->m_regNames[0];
    UniqueHKey live, marker;
    Status step = OpenRegKey(location->m_root, location->m_path, live);
    // Nothing to move means nothing to make: the marker subkey is created only for an
    // entry that is there.
    if (step) step = steps.exists(live.Get(), name);
    if (step) step = CreateMarkerKey(live.Get(), marker);
    if (step) step = steps.move(live.Get(), marker.Get(), name);
    return step;
}

Status EnableMarkerEntry(CKivItem* item, const EntrySteps& steps) {
    if (!steps.named(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    Status step;
    {
        UniqueHKey live, marker;
        step = OpenRegKey(location->m_root, location->m_path, live);
        if (step) step = OpenRegKey(live.Get(), kMarker, marker);
        if (step) step = steps.move(marker.Get(), live.Get(), item->m_regNames[0]);
    }
    if (step) DropEmptyMarker(item, MarkerPath(location->m_path));
    return step;
}

Status RemoveMarkerEntry(CKivItem* item, const EntrySteps& steps) {
    if (!steps.named(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    const std::wstring path = item->m_enabled ? location->m_path : MarkerPath(location->m_path);
    Status step;
    {
        UniqueHKey key;
        step = OpenRegKey(location->m_root, path, key);
        if (step) step = steps.erase(key.Get(), item->m_regNames[0]);
    }
    if (step && !item->m_enabled) DropEmptyMarker(item, path);
    return step;
}

}  // namespace kiv
