#include "handlers/ProfileKeys.h"

#include <windows.h>

#include "core/Records.h"
#include "handlers/DriveFiles.h"
#include "handlers/RegistryValues.h"
#include "iteminfo/CommandLine.h"

namespace kiv {

const wchar_t kRemovedMarker[] = L"_removedByKiv";

namespace {

std::wstring NameOf(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }

// The key an item's entry stands under while it is in use: the base key, or its
// disabled form.
std::wstring CurrentKey(const CKivItem* item) {
    const std::wstring& base = item->m_regNames[0];
    return item->m_enabled ? base : base + kMarker;
}

bool HasKey(const CKivItem* item) { return item && !item->m_regNames.empty() && !item->m_regNames[0].empty(); }

// Disable, enable and remove act on an entry in use; a removed entry's text lies
// under another key and is only brought back by a restore.
bool InUse(const CKivItem* item) { return HasKey(item) && !item->m_removed; }

void CollectKey(Location* location, unsigned enabledPass, const ProfileSection& where, const std::wstring& base,
                const std::wstring& key, unsigned removed, std::size_t minLength) {
    std::wstring text;
    if (ReadProfileKey(where, key, text) != ProfileRead::Ok || text.size() < minLength) return;
    if (!ResolveEntry(text, 0)) return;
    auto* item = new CKivItem(key + L"= " + NameOf(text), text, location, GotoKind::Explorer, 0, enabledPass, removed);
    item->m_regNames.push_back(base);
}

void CollectBaseKey(Location* location, unsigned enabledPass, const ProfileSection& where, const wchar_t* base,
                    std::size_t minLength) {
    const std::wstring key = enabledPass ? std::wstring(base) : base + std::wstring(kMarker);
    CollectKey(location, enabledPass, where, base, key, 0, minLength);
    CollectKey(location, enabledPass, where, base, key + kRemovedMarker, 1, minLength);
}

}  // namespace

ProfileRead ReadProfileKey(const ProfileSection& where, const std::wstring& key, std::wstring& text) {
    // One character more than a value may have, so that a value the system had to
    // cut is told from one that fits.
    wchar_t buffer[kProfileValueChars + 2] = {};
    const DWORD size = kProfileValueChars + 2;
    const DWORD length =
        where.file.empty()
            ? GetProfileStringW(where.section, key.c_str(), L"", buffer, size)
            : GetPrivateProfileStringW(where.section, key.c_str(), L"", buffer, size, where.file.c_str());
    text.clear();
    if (length > kProfileValueChars) return ProfileRead::TooLong;
    if (length == 0) return ProfileRead::Empty;
    text.assign(buffer, length);
    return ProfileRead::Ok;
}

bool WriteProfileKey(const ProfileSection& where, const std::wstring& key, const wchar_t* text) {
    if (where.file.empty()) return WriteProfileStringW(where.section, key.c_str(), text) != FALSE;
    return WritePrivateProfileStringW(where.section, key.c_str(), text, where.file.c_str()) != FALSE;
}

int MoveProfileKey(const ProfileSection& where, const std::wstring& from, const std::wstring& to) {
    std::wstring text, existing;
    if (ReadProfileKey(where, from, text) != ProfileRead::Ok) return 0;
    const ProfileRead target = ReadProfileKey(where, to, existing);
    if (target == ProfileRead::TooLong || (target == ProfileRead::Ok && existing != text)) return 0;
    const std::wstring stored = ProfileTextAsStored(where.file, where.section, from, text);
    if (!WriteProfileKey(where, to, stored.c_str())) return 0;
    if (WriteProfileKey(where, from, nullptr)) return 1;
    if (target == ProfileRead::Empty) WriteProfileKey(where, to, nullptr);
    return 0;
}

void CollectProfileKeys(Location* location, unsigned enabledPass, const ProfileSection& where,
                        const ProfileKeys& keys) {
    CollectBaseKey(location, enabledPass, where, keys.first, keys.minLength);
    CollectBaseKey(location, enabledPass, where, keys.second, keys.minLength);
}

int DisableProfileItem(CKivItem* item, const ProfileSection& where) {
    if (!InUse(item)) return 0;
    const std::wstring& base = item->m_regNames[0];
    return MoveProfileKey(where, base, base + kMarker);
}

int EnableProfileItem(CKivItem* item, const ProfileSection& where) {
    if (!InUse(item)) return 0;
    const std::wstring& base = item->m_regNames[0];
    return MoveProfileKey(where, base + kMarker, base);
}

int RemoveProfileItem(CKivItem* item, const ProfileSection& where) {
    if (!InUse(item)) return 0;
    const std::wstring key = CurrentKey(item);
    return MoveProfileKey(where, key, key + kRemovedMarker);
}

int RestoreProfileItem(CKivItem* item, const ProfileSection& where) {
    if (!HasKey(item)) return 0;
    const std::wstring key = CurrentKey(item);
    return MoveProfileKey(where, key + kRemovedMarker, key);
}

}  // namespace kiv
