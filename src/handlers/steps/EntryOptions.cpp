#include "handlers/steps/EntryOptions.h"

#include "core/KivHandler.h"
#include "core/Records.h"
#include "core/UserLocations.h"
#include "handlers/steps/RegistryTree.h"
#include "handlers/steps/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/RegPath.h"
#include "platform/Text.h"

namespace kiv {
namespace {

bool IsBareName(const std::wstring& text) { return !text.empty() && text.find_first_of(L"\\/:") == std::wstring::npos; }

void WalkNested(HKEY key, const std::wstring& relative, unsigned levels,
                const std::function<void(HKEY, const std::wstring&)>& visit) {
    EnumRegSubkeys(key, [&](const std::wstring& name) {
        if (name == kMarker) return;
        UniqueHKey nested;
        if (!OpenKeyToRead(key, name, nested)) return;
        const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
        if (levels <= 1) visit(nested.Get(), path);
        else WalkNested(nested.Get(), path, levels - 1, visit);
    });
}

}  // namespace

void SplitValuePath(const std::wstring& named, std::wstring& subkey, std::wstring& value) {
    const size_t slash = named.rfind(L'\\');
    subkey = slash == std::wstring::npos ? std::wstring() : named.substr(0, slash);
    value = slash == std::wstring::npos ? named : named.substr(slash + 1);
    if (value == L"@") value.clear();
}

bool ResolveLocationEntry(const Location* location, std::wstring& text, unsigned char wow64) {
    text = InUsersFolders(location, text);
    const std::wstring& folder = location->m_options.folder;
    if (folder.empty()) return ResolveEntry(text, wow64) != 0;
    std::wstring bare = text;
    StripQuotes(bare);
    bare = TrimWhiteSpace(bare);
    if (IsBareName(bare)) {
        std::wstring inFolder = folder + L"\\" + bare;
        if (ResolveEntry(inFolder, wow64) && IsPlainFile(inFolder)) {
            text = inFolder;
            return true;
        }
    }
    return ResolveEntry(text, wow64) != 0;
}

bool ReferencedFile(const Location* location, const std::wstring& entry, unsigned char wow64, std::wstring& file) {
    // An entry is the name of one key: with a "\\" it would reach some other key.
    if (entry.empty() || entry.find(L'\\') != std::wstring::npos) return false;
    std::wstring path = location->m_options.refKey;
    const size_t star = path.find(L'*');
    if (star != std::wstring::npos) path.replace(star, 1, entry);
    HKEY root = nullptr;
    SplitRootPrefix(path, root);
    UniqueHKey key;
    RegValueData value;
    if (!OpenKeyToRead(root, path, key) ||
        ReadRegValue(key.Get(), location->m_options.refValue, value) != ValueRead::Ok || !value.IsString())
        return false;
    file = value.Text();
    return ResolveLocationEntry(location, file, wow64);
}

bool IsSkippedValue(const Location* location, const std::wstring& name) {
    for (const std::wstring& skipped : location->m_options.skip)
        if (EqualsNoCase(skipped == L"@" ? std::wstring() : skipped, name)) return true;
    return false;
}

bool IsEntryValue(const Location* location, const std::wstring& name) {
    const auto& values = location->m_options.entryValues;
    if (values.empty()) return true;
    for (const std::wstring& named : values) {
        std::wstring subkey, value;
        SplitValuePath(named, subkey, value);
        if (subkey.empty() && EqualsNoCase(value, name)) return true;
    }
    return false;
}

std::vector<std::wstring> UserProfileFolders() {
    std::vector<std::wstring> folders;
    UniqueHKey list;
    if (!OpenKeyToRead(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", list))
        return folders;
    EnumRegSubkeys(list.Get(), [&](const std::wstring& sid) {
        UniqueHKey profile;
        RegValueData value;
        if (!OpenKeyToRead(list.Get(), sid, profile) ||
            ReadRegValue(profile.Get(), L"ProfileImagePath", value) != ValueRead::Ok || !value.IsString())
            return;
        std::wstring folder = ExpandPlain(value.Text());
        ToLongPath(folder);
        if (folder.empty()) return;
        for (const std::wstring& known : folders)
            if (EqualsNoCase(known, folder)) return;
        folders.push_back(folder);
    });
    return folders;
}

void ForEachNestedKey(HKEY key, unsigned levels, const std::function<void(HKEY, const std::wstring&)>& visit) {
    if (levels == 0) visit(key, std::wstring());
    else WalkNested(key, std::wstring(), levels, visit);
}

}  // namespace kiv
