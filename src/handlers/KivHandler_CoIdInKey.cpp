// Reads and changes subkeys that register classes: each subkey of the location's
// key is one entry, named by a class identifier or carrying a command line.
#include <new>

#include "core/Records.h"
#include "handlers/ClassLookup.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/EntryOptions.h"
#include "handlers/steps/RegistryValues.h"
#include "handlers/steps/SubkeyEntries.h"
#include "iteminfo/CommandLine.h"
#include "platform/Handles.h"
#include "platform/RegPath.h"

namespace {

class CKivHandler_CoIdInKey : public kiv::SubkeyEntryHandler {
public:
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
};

// The first string value of a subkey whose command line leads to an existing file.
bool FindCommandFile(const Location* location, HKEY subkey, unsigned char wow64, std::wstring& file) {
    bool found = false;
    kiv::EnumRegValues(subkey, [&](const std::wstring&, const kiv::RegValueData& value) {
        if (found || !value.IsString()) return;
        std::wstring text = value.Text();
        if (!kiv::ResolveLocationEntry(location, text, wow64)) return;
        file = text;
        found = true;
    });
    return found;
}

// A subkey found by its command line is titled by its default text, else its name.
std::wstring CommandSubkeyTitle(HKEY subkey, const std::wstring& name) {
    kiv::RegValueData value;
    if (kiv::ReadRegValue(subkey, L"", value) == kiv::ValueRead::Ok && value.IsString() && !value.Text().empty())
        return value.Text();
    return name;
}

// The string an option names below an entry subkey ("sub\value", "@" the default).
bool ReadNamedText(HKEY subkey, const std::wstring& named, std::wstring& text) {
    std::wstring below, name;
    kiv::SplitValuePath(named, below, name);
    kiv::UniqueHKey holder;
    HKEY from = subkey;
    if (!below.empty()) {
        if (!kiv::OpenKeyToRead(subkey, below, holder)) return false;
        from = holder.Get();
    }
    kiv::RegValueData value;
    if (kiv::ReadRegValue(from, name, value) != kiv::ValueRead::Ok || !value.IsString()) return false;
    text = value.Text();
    return !text.empty();
}

// The file of the first entry value that names one: a command line, or a class
// whose server is the file (a class standing in for another one, "TreatAs").
bool EntryValueFile(const Location* location, HKEY subkey, unsigned char wow64, std::wstring& file) {
    for (const std::wstring& named : location->m_options.entryValues) {
        std::wstring text, title;
        if (!ReadNamedText(subkey, named, text)) continue;
        if (text[0] == L'{' && kiv::LookupClass(text, location, title, file, wow64)) return true;
        if (kiv::ResolveLocationEntry(location, text, wow64)) {
            file = text;
            return true;
        }
    }
    return false;
}

// The class of a subkey named by a program identifier: the identifier's "CLSID".
bool LookupProgIdClass(const Location* location, const std::wstring& progId, unsigned char wow64, std::wstring& title,
                       std::wstring& file) {
    kiv::UniqueHKey key;
    std::wstring classId;
    if (!kiv::OpenClassesKey(location, progId + L"\\CLSID", wow64, key) || !ReadNamedText(key.Get(), L"@", classId))
        return false;
    return kiv::LookupClass(classId, location, title, file, wow64);
}

// Whether a key of the entry's name stands where the "alsoin" option says.
bool AlsoStands(const std::wstring& where, const std::wstring& name) {
    std::wstring path = where;
    HKEY root = nullptr;
    kiv::SplitRootPrefix(path, root);
    kiv::UniqueHKey key;
    return kiv::OpenKeyToRead(root, path + L"\\" + name, key).Succeeded();
}

// Title and file of one entry subkey, as the location's options shape it.
bool ReadEntry(const Location* location, HKEY subkey, const std::wstring& name, unsigned char wow64,
               std::wstring& title, std::wstring& file) {
    const LocationOptions& options = location->m_options;
    if (!options.entryValues.empty()) {
        if (!EntryValueFile(location, subkey, wow64, file)) return false;
        title = CommandSubkeyTitle(subkey, name);
        return true;
    }
    if (options.progId) {
        if (!LookupProgIdClass(location, name, wow64, title, file)) return false;
        title = CommandSubkeyTitle(subkey, name);
        return true;
    }
    if (kiv::LookupClass(name, location, title, file, wow64)) {
        if (title.empty()) title = name;
        return true;
    }
    // Handlers registered under a name of their own carry their class in a value.
    std::wstring classId, classTitle;
    if (!options.classValue.empty() && ReadNamedText(subkey, options.classValue, classId) &&
        kiv::LookupClass(classId, location, classTitle, file, wow64)) {
        title = name;
        return true;
    }
    if (!FindCommandFile(location, subkey, wow64, file)) return false;
    title = CommandSubkeyTitle(subkey, name);
    return true;
}

void CKivHandler_CoIdInKey::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    const std::wstring& alsoIn = location->m_options.alsoIn;
    kiv::ForEachEntrySubkey(location, enabledPass, [&](HKEY key, const std::wstring& name) {
        if (!alsoIn.empty() && !AlsoStands(alsoIn, name)) return;
        // A subkey that cannot be read has no values; its name may still be a class.
        kiv::UniqueHKey subkey;
        kiv::OpenKeyToRead(key, name, subkey);
        std::wstring title, file;
        if (!ReadEntry(location, subkey.Get(), name, wow64, title, file)) return;
        auto* item = new CKivItem(title, file, location, GotoKind::RegistryKey, wow64, enabledPass, 0);
        item->m_regNames.push_back(name);
    });
}

}  // namespace

CKivHandler* NewCoIdInKeyHandler() { return new (std::nothrow) CKivHandler_CoIdInKey(); }
