// Reads and changes the commands of the autorun file at the root of each fixed
// drive. A command is disabled or removed by renaming its key in that file.
#include <windows.h>

#include <cwchar>
#include <new>
#include <vector>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/DriveFiles.h"
#include "handlers/steps/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "platform/Format.h"

namespace kiv {
namespace {

const wchar_t kSection[] = L"autorun";
const wchar_t* const kBaseKeys[] = {L"open", L"shellexecute", L"Shell\\Option1\\Command"};

Status WriteKey(const std::wstring& file, const std::wstring& key, const wchar_t* text) {
    return WritePrivateProfileStringW(kSection, key.c_str(), text, file.c_str()) ? Status::Ok()
                                                                                 : Status::FromLastError();
}

// What a rename does with a key that already holds the new name.

// Renames a key of the autorun section. A key of the new name that holds another
// command refuses the rename, so that no command is written over and lost; when
// the old key cannot be deleted, the new one is put back as it was before.
Status MoveKey(const std::wstring& file, const std::wstring& from, const std::wstring& to) {
    std::wstring text, before;
    const IniRead source = ReadProfileText(file, kSection, from, text);
    // A cut text could not be written back whole; an absent or empty key holds no command.
    if (source == IniRead::Unreadable) return Status::Fail(ERROR_INVALID_DATA);
    if (source != IniRead::Ok || text.empty()) return Status::Fail(ERROR_NOT_FOUND);
    const IniRead target = ReadProfileText(file, kSection, to, before);
    if (target == IniRead::Unreadable) return Status::Fail(ERROR_INVALID_DATA);
    if (target == IniRead::Ok && !before.empty() && before != text) return Status::Fail(ERROR_ALREADY_EXISTS);
    if (target == IniRead::Ok) before = ProfileTextAsStored(file, kSection, to, before);
    Status step = WriteKey(file, to, ProfileTextAsStored(file, kSection, from, text).c_str());
    if (!step) return step;
    step = WriteKey(file, from, nullptr);
    if (!step) WriteKey(file, to, target == IniRead::Ok ? before.c_str() : nullptr);
    return step;
}

std::wstring NameOf(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void CollectKey(Location* location, const std::wstring& file, const wchar_t* baseKey, const std::wstring& key,
                unsigned enabledPass, unsigned removed) {
    std::wstring text;
    if (ReadProfileText(file, kSection, key, text) != IniRead::Ok || text.empty()) return;
    if (!ResolveEntry(text, 0)) return;
    auto* item = new CKivItem(baseKey + std::wstring(L"= ") + NameOf(text), text, location, GotoKind::Explorer, 0,
                              enabledPass, removed);
    item->m_regNames.push_back(baseKey);
    item->m_regNames.push_back(file);
}

// Items name their base key (registry name 0) and their file (registry name 1).
bool HasKeyAndFile(const CKivItem* item) { return item && item->m_regNames.size() >= 2; }

// The key an item stands under now: its base key, or the disabled one.
std::wstring CurrentKey(const CKivItem* item) {
    return item->m_enabled ? item->m_regNames[0] : item->m_regNames[0] + kMarker;
}

// Renames the item's key from its name with one suffix to its name with another.
// An entry in use is renamed by disable, enable and remove; a removed one lies
// under its removed key and only a restore renames it, which never takes the place
// of a newer command of the same name.
Status Rename(CKivItem* item, bool fromCurrent, const std::wstring& fromSuffix, const std::wstring& toSuffix) {
    if (!HasKeyAndFile(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const bool restoring = fromSuffix == kRemovedMarker;
    if (item->m_removed != (restoring ? 1u : 0u)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const std::wstring key = fromCurrent ? CurrentKey(item) : item->m_regNames[0];
    return MoveKey(item->m_regNames[1], key + fromSuffix, key + toSuffix);
}

// A removed command is kept under its removed key: the item now stands for it, so
// that a restore right after brings it back.
Status MarkRemoved(CKivItem* item, const Status& removal) {
    if (removal) item->m_removed = 1;
    return removal;
}

class CKivHandler_AutorunInf : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return Rename(item, false, L"", kMarker).Report(); }
    int EnableItem(CKivItem* item) override { return Rename(item, false, kMarker, L"").Report(); }
    int RemoveItem(CKivItem* item) override {
        return MarkRemoved(item, Rename(item, true, L"", kRemovedMarker)).Report();
    }
    int RestoreItem(CKivItem* item) override { return Rename(item, true, kRemovedMarker, L"").Report(); }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
};

void CKivHandler_AutorunInf::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (wow64) return;
    for (const std::wstring& root : FixedDriveRoots()) {
        const std::wstring file = WideFormat(L"%sAutorun.inf", root.c_str());
        if (!IsPlainFile(file)) continue;
        for (const wchar_t* baseKey : kBaseKeys) {
            const std::wstring key = enabledPass ? std::wstring(baseKey) : baseKey + std::wstring(kMarker);
            CollectKey(location, file, baseKey, key, enabledPass, 0);
            CollectKey(location, file, baseKey, key + kRemovedMarker, enabledPass, 1);
        }
    }
}

}  // namespace
}  // namespace kiv

CKivHandler* NewAutorunInfHandler() { return new (std::nothrow) kiv::CKivHandler_AutorunInf(); }
