#include "core/Records.h"

#include <algorithm>

#include "platform/RegPath.h"

Location::Location(const std::wstring& path, const std::wstring& value, unsigned type, EKivHandlerType handlerType,
                   unsigned char wow64)
    : m_path(path), m_fullPath(path), m_root(nullptr), m_type(type), m_wow64(wow64), m_handlerType(handlerType),
      m_handler(nullptr) {
    switch (type) {
    case RegistryKey:
        kiv::SplitRootPrefix(m_path, m_root);
        break;
    case RegistryValue:
        kiv::SplitRootPrefix(m_path, m_root);
        m_value = value;
        break;
    case Folder: {
        wchar_t expanded[MAX_PATH] = {};
        DWORD n = ExpandEnvironmentStringsW(path.c_str(), expanded, MAX_PATH);
        // A failed or too long expansion keeps the text as given.
        if (n != 0 && n <= MAX_PATH) m_path = expanded;
        m_fullPath = m_path;
        break;
    }
    default:
        m_value = value;
        break;
    }
    if (CKiv* kiv = CKiv::Get()) m_handler = kiv->GetHandler(handlerType);
}

void Location::RemoveItemId(unsigned id) {
    auto it = std::find(m_itemIds.begin(), m_itemIds.end(), id);
    if (it != m_itemIds.end()) m_itemIds.erase(it);
}

Category::Category(const std::wstring& name, int icon) : m_name(name), m_icon(icon) {}

Category::~Category() {
    for (Location* location : m_locations) delete location;
    m_locations.clear();
}

CKivItem::CKivItem(const std::wstring& title, const std::wstring& fileText, Location* location, GotoKind gotoKind,
                   unsigned win32, unsigned enabled, unsigned removed)
    : m_title(title), m_win32(win32), m_enabled(enabled), m_removed(removed), m_gotoKind(gotoKind), m_globalId(0),
      m_location(location), m_handler(location ? location->m_handler : nullptr) {
    // Reading the file (MD5, version resource, icon) takes long and runs outside the lock.
    kiv::FillFileFacts(m_file, fileText);
    CKiv* kiv = CKiv::Get();
    if (!kiv) return;
    // Room for the ID first: once the item is in the map, nothing may fail.
    if (m_location) m_location->m_itemIds.reserve(m_location->m_itemIds.size() + 1);
    m_globalId = kiv->ItemMapAddNew(this);
    if (m_location && m_globalId != 0) m_location->m_itemIds.push_back(m_globalId);
}

CKivItem::~CKivItem() {
    if (m_globalId != 0) {
        CKiv* kiv = CKiv::Get();
        if (kiv && kiv->ItemMapGet(m_globalId) == this) kiv->ItemMapRemove(m_globalId);
        if (m_location) m_location->RemoveItemId(m_globalId);
    }
    kiv::ReleaseFileFacts(m_file);
    for (const auto& facts : m_superseded) kiv::ReleaseFileFacts(*facts);
}

void CKivItem::RefillFacts(const std::wstring& path) {
    // Swapping hands the texts' buffers and the icon to the kept facts, so what the
    // host read before still points at the old values.
    m_superseded.reserve(m_superseded.size() + 1);
    auto kept = std::make_unique<KivFileFacts>();
    kept->fileName.swap(m_file.fileName);
    kept->extension.swap(m_file.extension);
    kept->filePath.swap(m_file.filePath);
    kept->shortcutTarget.swap(m_file.shortcutTarget);
    kept->md5.swap(m_file.md5);
    for (int i = 0; i < CFileVersion::StringCount; ++i) kept->version.m_strings[i].swap(m_file.version.m_strings[i]);
    kept->icon = m_file.icon;
    m_file.icon = nullptr;
    m_superseded.push_back(std::move(kept));
    kiv::ReleaseFileFacts(m_file);
    kiv::FillFileFacts(m_file, path);
}
