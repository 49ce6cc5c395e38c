#include "handlers/steps/ProfileEntries.h"

#include <windows.h>

#include "core/Records.h"
#include "handlers/steps/DriveFiles.h"
#include "handlers/steps/RegistryValues.h"
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

Status WriteProfileKey(const ProfileSection& where, const std::wstring& key, const wchar_t* text) {
    const BOOL written = where.file.empty()
                             ? WriteProfileStringW(where.section, key.c_str(), text)
                             : WritePrivateProfileStringW(where.section, key.c_str(), text, where.file.c_str());
    return written ? Status::Ok() : Status::FromLastError();
}

// Why a key cannot be moved: an empty key holds no entry, a cut one cannot be
// written back whole.
Status SourceRefusal(ProfileRead read) {
    return Status::Fail(read == ProfileRead::TooLong ? ERROR_INVALID_DATA : ERROR_NOT_FOUND);
}

Status MoveProfileKey(const ProfileSection& where, const std::wstring& from, const std::wstring& to) {
    std::wstring text, existing;
    const ProfileRead source = ReadProfileKey(where, from, text);
    if (source != ProfileRead::Ok) return SourceRefusal(source);
    const ProfileRead target = ReadProfileKey(where, to, existing);
    if (target == ProfileRead::TooLong) return Status::Fail(ERROR_INVALID_DATA);
    if (target == ProfileRead::Ok && existing != text) return Status::Fail(ERROR_ALREADY_EXISTS);
    const std::wstring stored = ProfileTextAsStored(where.file, where.section, from, text);
    Status step = WriteProfileKey(where, to, stored.c_str());
    if (!step) return step;
    step = WriteProfileKey(where, from, nullptr);
    if (!step && target == ProfileRead::Empty) WriteProfileKey(where, to, nullptr);
    return step;
}

void CollectProfileKeys(Location* location, unsigned enabledPass, const ProfileSection& where,
                        const ProfileKeys& keys) {
    CollectBaseKey(location, enabledPass, where, keys.first, keys.minLength);
    CollectBaseKey(location, enabledPass, where, keys.second, keys.minLength);
}

Status DisableProfileItem(CKivItem* item, const ProfileSection& where) {
    if (!InUse(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const std::wstring& base = item->m_regNames[0];
    return MoveProfileKey(where, base, base + kMarker);
}

Status EnableProfileItem(CKivItem* item, const ProfileSection& where) {
    if (!InUse(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const std::wstring& base = item->m_regNames[0];
    return MoveProfileKey(where, base + kMarker, base);
}

Status RemoveProfileItem(CKivItem* item, const ProfileSection& where) {
    if (!InUse(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const std::wstring key = CurrentKey(item);
    const Status step = MoveProfileKey(where, key, key + kRemovedMarker);
    // The text is kept under the removed key: the item now stands for it, so that a
    // restore right after brings it back.
    if (step) item->m_removed = 1;
    return step;
}

Status RestoreProfileItem(CKivItem* item, const ProfileSection& where) {
    if (!HasKey(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const std::wstring key = CurrentKey(item);
    return MoveProfileKey(where, key + kRemovedMarker, key);
}

}  // namespace kiv
