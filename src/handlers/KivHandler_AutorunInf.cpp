#include "handlers/KivHandler_AutorunInf.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "core/Records.h"
#include "handlers/DriveFiles.h"
#include "handlers/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "platform/Format.h"

namespace kiv {
namespace {

const wchar_t kSection[] = L"autorun";
const wchar_t kRemoved[] = L"_removedByKiv";
const wchar_t* const kBaseKeys[] = {L"open", L"shellexecute", L"Shell\\Option1\\Command"};
bool WriteKey(const std::wstring& file, const std::wstring& key, const wchar_t* text) {
    return WritePrivateProfileStringW(kSection, key.c_str(), text, file.c_str()) != FALSE;
}

// Renames a key of the autorun section. An older key of the new name gives way;
// when the old key cannot be deleted, the new one is put back as it was before.
bool MoveKey(const std::wstring& file, const std::wstring& from, const std::wstring& to) {
    std::wstring text, before;
    if (ReadProfileText(file, kSection, from, text) != IniRead::Ok || text.empty()) return false;
    const IniRead target = ReadProfileText(file, kSection, to, before);
    if (target == IniRead::Unreadable) return false;
    if (target == IniRead::Ok) before = ProfileTextAsStored(file, kSection, to, before);
    if (!WriteKey(file, to, ProfileTextAsStored(file, kSection, from, text).c_str())) return false;
    if (WriteKey(file, from, nullptr)) return true;
    WriteKey(file, to, target == IniRead::Ok ? before.c_str() : nullptr);
    return false;
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
    auto* item = new CKivItem(baseKey + std::wstring(L"= ") + NameOf(text), text, location, GotoKind::Explorer, 0, enabledPass, removed);
    item->m_regNames.push_back(baseKey);
    item->m_regNames.push_back(file);
}

bool HasKeyAndFile(const CKivItem* item) { return item && item->m_regNames.size() >= 2; }

// The key an item stands under now: its base key, or the disabled one.
std::wstring CurrentKey(const CKivItem* item) {
    return item->m_enabled ? item->m_regNames[0] : item->m_regNames[0] + kMarker;
}

}  // namespace
}  // namespace kiv

CKivHandler_AutorunInf::~CKivHandler_AutorunInf() = default;

int CKivHandler_AutorunInf::DisableItem(CKivItem* item) {
    if (!kiv::HasKeyAndFile(item)) return 0;
    const std::wstring& key = item->m_regNames[0];
    return kiv::MoveKey(item->m_regNames[1], key, key + kiv::kMarker) ? 1 : 0;
}

int CKivHandler_AutorunInf::EnableItem(CKivItem* item) {
    if (!kiv::HasKeyAndFile(item)) return 0;
    const std::wstring& key = item->m_regNames[0];
    return kiv::MoveKey(item->m_regNames[1], key + kiv::kMarker, key) ? 1 : 0;
}

int CKivHandler_AutorunInf::RemoveItem(CKivItem* item) {
    if (!kiv::HasKeyAndFile(item)) return 0;
    const std::wstring current = kiv::CurrentKey(item);
    return kiv::MoveKey(item->m_regNames[1], current, current + kiv::kRemoved) ? 1 : 0;
}

int CKivHandler_AutorunInf::RestoreItem(CKivItem* item) {
    if (!kiv::HasKeyAndFile(item)) return 0;
    const std::wstring current = kiv::CurrentKey(item);
    return kiv::MoveKey(item->m_regNames[1], current + kiv::kRemoved, current) ? 1 : 0;
}

void CKivHandler_AutorunInf::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (wow64) return;
    for (const std::wstring& root : kiv::FixedDriveRoots()) {
        const std::wstring file = kiv::WideFormat(L"%sAutorun.inf", root.c_str());
        if (!kiv::IsPlainFile(file)) continue;
        for (const wchar_t* baseKey : kiv::kBaseKeys) {
            const std::wstring key = enabledPass ? std::wstring(baseKey) : baseKey + std::wstring(kiv::kMarker);
            kiv::CollectKey(location, file, baseKey, key, enabledPass, 0);
            kiv::CollectKey(location, file, baseKey, key + kiv::kRemoved, enabledPass, 1);
        }
    }
}
