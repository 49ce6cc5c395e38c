#include "core/Records.h"

#include <algorithm>
#include <new>

#include "core/DeferredFacts.h"
#include "platform/RegPath.h"
#include "platform/Text.h"

Location::Location(const std::wstring& path, const std::wstring& value, unsigned type, EKivHandlerType handlerType,
                   unsigned char wow64, CKivHandler* handler, kiv::ItemRegistry* registry)
    : m_path(path), m_fullPath(path), m_root(nullptr), m_type(type), m_wow64(wow64), m_handlerType(handlerType),
      m_handler(handler), m_registry(registry) {
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
}

bool Location::ListsOwnValue(const std::wstring& name) const {
    if (m_options.depth != 0) return false;
    // "@" names the default value, whose name is empty.
    const auto names = [&name](const std::wstring& listed) {
        return kiv::EqualsNoCase(listed == L"@" ? std::wstring() : listed, name);
    };
    for (const std::wstring& skipped : m_options.skip)
        if (names(skipped)) return false;
    if (m_options.entryValues.empty()) return true;
    for (const std::wstring& entry : m_options.entryValues)
        if (names(entry)) return true;
    return false;
}

void Location::RemoveItemId(unsigned id) {
    auto it = std::find(m_itemIds.begin(), m_itemIds.end(), id);
    if (it != m_itemIds.end()) m_itemIds.erase(it);
}

const std::vector<std::wstring>& Location::EnvPaths() const {
    static const std::vector<std::wstring> kNoPaths;
    return m_registry ? m_registry->EnvPaths() : kNoPaths;
}

bool Location::ListsRegistryValue(HKEY root, const std::wstring& path, const std::wstring& value) const {
    return m_registry && m_registry->ListsRegistryValue(root, path, value);
}

Category::Category(const std::wstring& name, int icon) : m_name(name), m_icon(icon) {}

CKivItem::CKivItem(const std::wstring& title, const std::wstring& fileText, Location* location, GotoKind gotoKind,
                   unsigned win32, unsigned enabled, unsigned removed)
    : m_title(title), m_win32(win32), m_enabled(enabled), m_removed(removed), m_gotoKind(gotoKind), m_globalId(0),
      m_location(location), m_handler(location ? location->m_handler : nullptr) {
    // Reading the file (MD5, version resource) takes long and runs outside the lock;
    // during a collection it runs beside the handler, which registers the item later.
    if (m_location && m_location->m_registry) {
        kiv::DeferredFacts* deferred = kiv::DeferredFacts::Active();
        if (deferred && deferred->Take(this, fileText)) return;
    }
    kiv::FillFileFacts(m_file, fileText);
    if (!m_location || !m_location->m_registry) return;
    // The last step: once the registry holds the item, nothing here may fail.
    m_globalId = m_location->m_registry->AddItem(this);
    if (m_globalId == 0) {
        // No owner took the item: the failed new-expression frees it.
        kiv::ReleaseFileFacts(m_file);
        throw std::bad_alloc();
    }
}

CKivItem::~CKivItem() {
    if (m_globalId != 0 && m_location && m_location->m_registry) m_location->m_registry->ForgetItem(m_globalId, this);
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
