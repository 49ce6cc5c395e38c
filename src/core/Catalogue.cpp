// Loading the catalogue file "kivdata.dat" beside the host's executable: the
// categories and, in each, the locations with their handler and location types.
#include "core/Catalogue.h"

#include <cstdlib>
#include <cwchar>
#include <memory>
#include <vector>

#include "core/HostFiles.h"
#include "core/Records.h"
#include "kiv.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Log.h"
#include "platform/RegPath.h"
#include "platform/Text.h"
#include "xml/XmlNode.h"

using kiv::LogLine;
using kiv::XmlNode;

namespace {

// The first text of the first child element of that name, with its surrounding
// whitespace cut; empty when the element or its text is missing.
std::wstring FieldText(const XmlNode& parent, const wchar_t* name) {
    const wchar_t* text = parent.GetChildNode(name).GetText(0);
    return text ? kiv::TrimWhiteSpace(text) : std::wstring();
}

int FieldNumber(const XmlNode& parent, const wchar_t* name) { return _wtoi(FieldText(parent, name).c_str()); }

// A folder location as the handlers see it: environment strings expanded and short
// names made long. A failed expansion leaves the path empty.
std::wstring ExpandFolder(const std::wstring& path) {
    std::wstring expanded = kiv::ExpandPlain(path);
    kiv::ToLongPath(expanded);
    return expanded;
}

// The text of every child element of that name, in file order, empty ones left out.
std::vector<std::wstring> FieldTexts(const XmlNode& parent, const wchar_t* name) {
    std::vector<std::wstring> texts;
    const int count = parent.ChildCount(name);
    for (int i = 0; i < count; ++i) {
        const wchar_t* text = parent.GetChildNode(name, i).GetText(0);
        std::wstring trimmed = text ? kiv::TrimWhiteSpace(text) : std::wstring();
        if (!trimmed.empty()) texts.push_back(trimmed);
    }
    return texts;
}

// The optional elements of a loc (docs/catalogue.md describes each). A loc without
// them gets the empty options, so it reads as it always did.
LocationOptions ReadOptions(const XmlNode& loc) {
    LocationOptions options;
    const int depth = FieldNumber(loc, L"depth");
    options.depth = depth > 0 ? static_cast<unsigned>(depth) : 0;
    options.entryValues = FieldTexts(loc, L"entryvalue");
    options.classValue = FieldText(loc, L"classvalue");
    options.progId = FieldNumber(loc, L"progid") != 0;
    options.alsoIn = FieldText(loc, L"alsoin");
    options.skip = FieldTexts(loc, L"skip");
    options.folder = FieldText(loc, L"folder");
    if (!options.folder.empty()) options.folder = ExpandFolder(options.folder);
    options.refKey = FieldText(loc, L"refkey");
    options.refValue = FieldText(loc, L"refvalue");
    options.listSeparator = FieldText(loc, L"listsep");
    options.files = FieldText(loc, L"files");
    options.profiles = FieldNumber(loc, L"profiles") != 0;
    return options;
}

}  // namespace

namespace kiv {

Category& Catalogue::AddCategory(const std::wstring& name, int icon) {
    m_categories.push_back(std::make_unique<Category>(name, icon));
    return *m_categories.back();
}

Location& Catalogue::AddLocation(Category& category, const std::wstring& path, const std::wstring& value, unsigned type,
                                 EKivHandlerType handlerType, unsigned char wow64) {
    category.m_locations.push_back(
        std::make_unique<Location>(path, value, type, handlerType, wow64, HandlerOf(handlerType), &m_registry));
    return *category.m_locations.back();
}

CKivHandler* Catalogue::HandlerOf(EKivHandlerType type) const {
    auto it = m_handlers.find(type);
    return it == m_handlers.end() ? nullptr : it->second.get();
}

bool Catalogue::Locate(wchar_t (&path)[MAX_PATH]) {
    HostFileResult found = HostFilePath(L"kivdata.dat", path);
    if (found == HostFileResult::NoFolder) {
        LogLine(L"KIV\t\t\t Unable to get working folder.");
        return false;
    }
    if (found != HostFileResult::Ok || !IsPlainFile(path)) {
        LogLine(L"KIV\t\t\t Kiv data file not found.");
        return false;
    }
    return true;
}

void Catalogue::ReadUsers() {
    if (m_usersRead) return;
    m_usersRead = true;
    for (const MachineProfile& profile : OtherUserProfiles()) m_users.push_back(std::make_unique<UserProfile>(profile));
}

void Catalogue::AddUserCopies(Category& category, const Location* sameAs, const std::wstring& cataloguePath,
                              const std::wstring& value, unsigned type, EKivHandlerType handlerType,
                              const LocationOptions& options) {
    // A location below every user's profile reads each profile already.
    if (options.profiles) return;
    for (const std::unique_ptr<UserProfile>& user : m_users) {
        std::wstring path, hivePath;
        bool classes = false;
        if (!UserCopyPath(cataloguePath, type, *user, path, hivePath, classes)) return;
        if (type == Location::Folder && IsReparsePoint(path) == 1) continue;
        Location& copy = AddLocation(category, path, value, type, handlerType, 0);
        copy.m_options = options;
        copy.m_user = user.get();
        copy.m_sameAs = sameAs;
        copy.m_hivePath = hivePath;
        copy.m_classesHive = classes;
        user->AddLocation(&copy);
    }
}

void Catalogue::Read(const wchar_t* path) {
    ReadUsers();
    XmlNode root = XmlNode::OpenFileWithRoot(path, L"kivdata");
    int categories = root.ChildCount(L"cat");
    for (int c = 0; c < categories; ++c) ReadCategory(root.GetChildNode(L"cat", c));
}

void Catalogue::ReadCategory(const XmlNode& cat) {
    Category& category = AddCategory(FieldText(cat, L"name"), FieldNumber(cat, L"icon"));
    XmlNode locs = cat.GetChildNode(L"locs");
    int count = locs.ChildCount(L"loc");
    for (int l = 0; l < count; ++l) {
        XmlNode loc = locs.GetChildNode(L"loc", l);
        auto handlerType = static_cast<EKivHandlerType>(FieldNumber(loc, L"htype"));
        auto type = static_cast<unsigned>(FieldNumber(loc, L"ltype"));
        std::wstring locPath = FieldText(loc, L"path");
        const std::wstring cataloguePath = locPath;
        std::wstring value = FieldText(loc, L"value");
        const LocationOptions options = ReadOptions(loc);
        // A path below every user's profile is looked for in each profile when read.
        if (type == Location::Folder && !options.profiles) locPath = ExpandFolder(locPath);
        // Only a folder that exists and lies under no junction or link is searched.
        const Location* own = nullptr;
        if (type != Location::Folder || options.profiles || IsReparsePoint(locPath) != 1) {
            Location& added = AddLocation(category, locPath, value, type, handlerType, 0);
            added.m_options = options;
            own = &added;
        }
        std::wstring twin;
        if (own && (type == Location::RegistryKey || type == Location::RegistryValue) && TwinPath(locPath, twin))
            AddLocation(category, twin, value, type, handlerType, 1).m_options = options;
        AddUserCopies(category, own, cataloguePath, value, type, handlerType, options);
    }
}

Location* Catalogue::LocationAt(unsigned c, unsigned l) const {
    Location* location = nullptr;
    if (c < m_categories.size() && l < m_categories[c]->m_locations.size())
        location = m_categories[c]->m_locations[l].get();
    SetLastError(location ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER);
    return location;
}

bool Catalogue::ListsRegistryValue(HKEY root, const std::wstring& path, const std::wstring& value) const {
    for (const std::unique_ptr<Category>& category : m_categories)
        for (const std::unique_ptr<Location>& location : category->m_locations) {
            if (location->m_root != root || location->m_wow64 || !EqualsNoCase(location->m_path, path)) continue;
            if (location->m_type == Location::RegistryValue && EqualsNoCase(location->m_value, value)) return true;
            if (location->m_type == Location::RegistryKey && location->m_handlerType == RegValue &&
                location->ListsOwnValue(value))
                return true;
        }
    return false;
}

}  // namespace kiv
