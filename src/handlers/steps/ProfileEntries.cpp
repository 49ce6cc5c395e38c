#include "handlers/steps/ProfileEntries.h"

#include <windows.h>

#include "core/Records.h"
#include "handlers/steps/DriveFiles.h"
#include "handlers/steps/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "kiv.h"
#include "platform/Handles.h"
#include "platform/Text.h"

namespace kiv {

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

const wchar_t kIniFileMappingKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\";

// The system maps profiles by file name, for files of the Windows folder only
// (win.ini is the profile of the profile functions without a file).
bool MappedFileName(const ProfileSection& where, std::wstring& name) {
    if (where.file.empty()) {
        name = L"win.ini";
        return true;
    }
    const size_t slash = where.file.rfind(L'\\');
    name = NameOf(where.file);
    if (slash == std::wstring::npos) return true;
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    return length > 0 && length < MAX_PATH && EqualsNoCase(where.file.substr(0, slash), windows);
}

// The mapping text of one key of a section: the key's own value below the
// section's subkey, else that subkey's default, else the section's value of the
// file's mapping key.
bool ReadMappingText(const ProfileSection& where, const std::wstring& key, std::wstring& text) {
    std::wstring file;
    if (!where.section || !MappedFileName(where, file)) return false;
    UniqueHKey mapping;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kIniFileMappingKey + file).c_str(), 0, KEY_READ, mapping.Put()) !=
        ERROR_SUCCESS)
        return false;
    RegValueData value;
    UniqueHKey section;
    if (RegOpenKeyExW(mapping.Get(), where.section, 0, KEY_READ, section.Put()) == ERROR_SUCCESS) {
        if (ReadRegValue(section.Get(), key, value) != ValueRead::Ok &&
            ReadRegValue(section.Get(), L"", value) != ValueRead::Ok)
            return false;
    } else if (ReadRegValue(mapping.Get(), where.section, value) != ValueRead::Ok) {
        return false;
    }
    text = value.Text();
    return value.IsString();
}

// The registry key the system keeps a profile key in instead of the file: "USR:"
// names a key of the current user, "SYS:" one below the machine's software key;
// the flags before them ("!", "#", "@") only say how the file is also used.
bool MappedRegistryKey(const ProfileSection& where, const std::wstring& key, HKEY& root, std::wstring& path) {
    std::wstring text;
    if (!ReadMappingText(where, key, text)) return false;
    const size_t start = text.find_first_not_of(L"!#@");
    if (start == std::wstring::npos) return false;
    text.erase(0, start);
    if (StartsWithNoCase(text, L"USR:")) {
        root = HKEY_CURRENT_USER;
        path = text.substr(4);
    } else if (StartsWithNoCase(text, L"SYS:")) {
        root = HKEY_LOCAL_MACHINE;
        path = L"SOFTWARE\\" + text.substr(4);
    } else {
        return false;
    }
    return !path.empty();
}

// A profile key the system keeps in a registry value that a registry location of
// the catalogue lists already: that location shows and changes the entry, so the
// profile handler leaves it alone (through the profile functions it would change
// the registry value while the marked key went to the file).
bool ListedThroughRegistry(const Location* location, const ProfileSection& where, const std::wstring& base) {
    HKEY root = nullptr;
    std::wstring path;
    return location && MappedRegistryKey(where, base, root, path) && location->ListsRegistryValue(root, path, base);
}

// Why an action on an item is refused, or Ok.
Status ActionRefusal(const CKivItem* item, const ProfileSection& where, bool inUseOnly) {
    if (inUseOnly ? !InUse(item) : !HasKey(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    if (ListedThroughRegistry(item->m_location, where, item->m_regNames[0])) return Status::Fail(ERROR_NOT_SUPPORTED);
    return Status::Ok();
}

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
    if (ListedThroughRegistry(location, where, base)) return;
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
    const DWORD length = where.file.empty() ? GetProfileStringW(where.section, key.c_str(), L"", buffer, size)
                                            : GetPrivateProfileStringW(where.section, key.c_str(), L"", buffer, size,
                                                                       where.file.c_str());
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
    if (Status refused = ActionRefusal(item, where, true); !refused) return refused;
    const std::wstring& base = item->m_regNames[0];
    return MoveProfileKey(where, base, base + kMarker);
}

Status EnableProfileItem(CKivItem* item, const ProfileSection& where) {
    if (Status refused = ActionRefusal(item, where, true); !refused) return refused;
    const std::wstring& base = item->m_regNames[0];
    return MoveProfileKey(where, base + kMarker, base);
}

Status RemoveProfileItem(CKivItem* item, const ProfileSection& where) {
    if (Status refused = ActionRefusal(item, where, true); !refused) return refused;
    const std::wstring key = CurrentKey(item);
    const Status step = MoveProfileKey(where, key, key + kRemovedMarker);
    // The text is kept under the removed key: the item now stands for it, so that a
    // restore right after brings it back.
    if (step) item->m_removed = 1;
    return step;
}

Status RestoreProfileItem(CKivItem* item, const ProfileSection& where) {
    if (Status refused = ActionRefusal(item, where, false); !refused) return refused;
    const std::wstring key = CurrentKey(item);
    return MoveProfileKey(where, key + kRemovedMarker, key);
}

}  // namespace kiv
