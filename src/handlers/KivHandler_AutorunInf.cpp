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
const DWORD kSectionChars = 32767;

std::wstring TrimBlanks(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// The profile functions drop the quotes around a whole value. A moved command keeps
// them as the file holds them, so "My Setup.exe" does not come back as two words.
std::wstring AsStored(const std::wstring& file, const std::wstring& key, const std::wstring& text) {
    std::vector<wchar_t> section(kSectionChars);
    DWORD length = GetPrivateProfileSectionW(kSection, section.data(), kSectionChars, file.c_str());
    if (length == 0 || length >= kSectionChars - 2) return text;
    const std::wstring quoted = L"\"" + text + L"\"";
    for (const wchar_t* line = section.data(); *line; line += wcslen(line) + 1) {
        const std::wstring entry(line);
        const size_t equals = entry.find(L'=');
        if (equals == std::wstring::npos) continue;
        const std::wstring name = TrimBlanks(entry.substr(0, equals));
        if (CompareStringOrdinal(name.c_str(), -1, key.c_str(), -1, TRUE) != CSTR_EQUAL) continue;
        return TrimBlanks(entry.substr(equals + 1)) == quoted ? quoted : text;
    }
    return text;
}

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
    if (target == IniRead::Ok) before = AsStored(file, to, before);
    if (!WriteKey(file, to, AsStored(file, from, text).c_str())) return false;
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
    auto* item = new CKivItem(baseKey + std::wstring(L"= ") + NameOf(text), text, location, 2, 0, enabledPass, removed);
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
