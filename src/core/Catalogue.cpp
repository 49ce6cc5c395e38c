// Loading the catalogue file "kivdata.dat" beside the host's executable: the
// categories and, in each, the locations with their handler and location types.
#include <cstdlib>
#include <memory>
#include <cwchar>

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

void AddLocation(Category* category, const std::wstring& path, const std::wstring& value, unsigned type,
                 EKivHandlerType handlerType, unsigned char wow64) {
    std::unique_ptr<Location> location(new Location(path, value, type, handlerType, wow64));
    category->m_locations.push_back(location.get());
    location.release();
}

}  // namespace

bool CKiv::LoadData() {
    wchar_t path[MAX_PATH];
    kiv::HostFileResult found = kiv::HostFilePath(L"kivdata.dat", path);
    if (found == kiv::HostFileResult::NoFolder) {
        LogLine(L"KIV\t\t\t Unable to get working folder.");
        return false;
    }
    if (found != kiv::HostFileResult::Ok || !kiv::IsPlainFile(path)) {
        LogLine(L"KIV\t\t\t Kiv data file not found.");
        return false;
    }
    LoadWhiteListFile();

    XmlNode root = XmlNode::OpenFileWithRoot(path, L"kivdata");
    int categories = root.ChildCount(L"cat");
    for (int c = 0; c < categories; ++c) LoadCategory(root.GetChildNode(L"cat", c));
    return true;
}

void CKiv::LoadCategory(const XmlNode& cat) {
    std::unique_ptr<Category> owned(new Category(FieldText(cat, L"name"), FieldNumber(cat, L"icon")));
    m_categories.push_back(owned.get());
    Category* category = owned.release();
    XmlNode locs = cat.GetChildNode(L"locs");
    int count = locs.ChildCount(L"loc");
    for (int l = 0; l < count; ++l) {
        XmlNode loc = locs.GetChildNode(L"loc", l);
        auto handlerType = static_cast<EKivHandlerType>(FieldNumber(loc, L"htype"));
        auto type = static_cast<unsigned>(FieldNumber(loc, L"ltype"));
        std::wstring locPath = FieldText(loc, L"path");
        std::wstring value = FieldText(loc, L"value");
        if (type == Location::Folder) {
            locPath = ExpandFolder(locPath);
            // Only a folder that exists and lies under no junction or link is searched.
            if (kiv::IsReparsePoint(locPath) == 1) continue;
        }
        AddLocation(category, locPath, value, type, handlerType, 0);
        std::wstring twin;
        if ((type == Location::RegistryKey || type == Location::RegistryValue) && kiv::TwinPath(locPath, twin))
            AddLocation(category, twin, value, type, handlerType, 1);
    }
}
