#include "handlers/steps/ValueEntries.h"

#include "core/Records.h"
#include "handlers/steps/RegistryValues.h"

namespace kiv {
namespace {

Status ValueExists(HKEY key, const std::wstring& name) {
    RegValueData value;
    return ReadRegValue(key, name, value) == ValueRead::Ok ? Status::Ok() : ReadFailure(value);
}

}  // namespace

// An empty name stands for the key's default value, an entry like any other.
const EntrySteps kValueEntry{HasRegName, ValueExists, MoveRegValue, DeleteRegValue};

void GetValueEntryLocation(CKivItem* item, std::wstring& key, std::wstring& value) {
    if (!HasRegName(item)) return;
    key = item->m_location->m_fullPath;
    if (!item->m_entryKey.empty()) key += L"\\" + item->m_entryKey;
    value = item->m_regNames[0];
}

}  // namespace kiv
