// What the host reads and does after a collection: catalogue and item queries by
// position or global ID, and the actions that go through the item's handler.
#include <cwchar>

#include "core/Guard.h"
#include "core/Records.h"
#include "handlers/KivHandler.h"
#include "kiv.h"

namespace {

const wchar_t kNoText[] = L"";

// Shared by both date queries, as the host expects: each call overwrites it.
wchar_t g_dateBuffer[32];

const wchar_t* FormatDate(const SYSTEMTIME& time) {
    swprintf_s(g_dateBuffer, 32, L"%04u-%02u-%02u %02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
               time.wMinute);
    return g_dateBuffer;
}

// Copies text into a caller's buffer only when it fits whole; otherwise the
// buffer gets the empty string, never a cut key.
void CopyOut(const std::wstring& text, wchar_t* buffer, unsigned size) {
    if (text.empty() || !buffer || size == 0) return;
    if (text.size() + 1 > size) {
        buffer[0] = L'\0';
        return;
    }
    wcscpy_s(buffer, size, text.c_str());
}

}  // namespace

Location* CKiv::LocationAt(unsigned c, unsigned l) {
    if (c >= m_categories.size()) return nullptr;
    const std::vector<Location*>& locations = m_categories[c]->m_locations;
    return l < locations.size() ? locations[l] : nullptr;
}

unsigned CKiv::GetCategoryCount() { return static_cast<unsigned>(m_categories.size()); }

const wchar_t* CKiv::GetCategoryName(unsigned c) {
    return c < m_categories.size() ? m_categories[c]->m_name.c_str() : kNoText;
}

unsigned CKiv::GetLocationCount(unsigned c) {
    return c < m_categories.size() ? static_cast<unsigned>(m_categories[c]->m_locations.size()) : 0;
}

const wchar_t* CKiv::GetLocationPath(unsigned c, unsigned l) {
    Location* location = LocationAt(c, l);
    return location ? location->m_fullPath.c_str() : kNoText;
}

unsigned CKiv::GetLocationType(unsigned c, unsigned l) {
    Location* location = LocationAt(c, l);
    return location ? location->m_type : 0;
}

EKivHandlerType CKiv::GetLocationHandlerType(unsigned c, unsigned l) {
    Location* location = LocationAt(c, l);
    return location ? location->m_handlerType : RegValue;
}

unsigned CKiv::GetItemCount(unsigned c, unsigned l) {
    Location* location = LocationAt(c, l);
    return location ? static_cast<unsigned>(location->m_itemIds.size()) : 0;
}

unsigned CKiv::GetItemGlobalID(unsigned c, unsigned l, unsigned i) {
    Location* location = LocationAt(c, l);
    return (location && i < location->m_itemIds.size()) ? location->m_itemIds[i] : 0;
}

// Each query reads one field of a living item, or gives its empty answer.
#define KIV_ITEM_QUERY(Type, Name, empty, expr)                               \
    Type CKiv::Name(unsigned id) {                                            \
        CKivItem* item = ItemMapGet(id);                                      \
        return item ? (expr) : (empty);                                       \
    }
#define KIV_ITEM_QUERY_BOTH(Type, Name, empty, expr)                          \
    KIV_ITEM_QUERY(Type, Name, empty, expr)                                   \
    Type CKiv::Name(unsigned c, unsigned l, unsigned i) { return Name(GetItemGlobalID(c, l, i)); }

KIV_ITEM_QUERY_BOTH(const wchar_t*, GetItemTitle, kNoText, item->m_title.c_str())
KIV_ITEM_QUERY_BOTH(int, GetItemEnabled, 0, static_cast<int>(item->m_enabled))
KIV_ITEM_QUERY_BOTH(HICON, GetItemIcon, nullptr, item->m_file.icon)
KIV_ITEM_QUERY_BOTH(const wchar_t*, GetItemFilePath, kNoText, item->m_file.filePath.c_str())
KIV_ITEM_QUERY_BOTH(const wchar_t*, GetItemFileName, kNoText, item->m_file.fileName.c_str())
KIV_ITEM_QUERY_BOTH(const wchar_t*, GetItemFileMd5, kNoText, item->m_file.md5.c_str())
KIV_ITEM_QUERY_BOTH(unsigned long long, GetItemFileSize, 0ull, item->m_file.size)
KIV_ITEM_QUERY_BOTH(const wchar_t*, GetItemFilePublisher, kNoText, item->m_file.version.Publisher())
KIV_ITEM_QUERY_BOTH(const wchar_t*, GetItemFileDescription, kNoText, item->m_file.version.Description())
KIV_ITEM_QUERY(const wchar_t*, GetItemFileShortcutTarget, kNoText, item->m_file.shortcutTarget.c_str())
KIV_ITEM_QUERY(const wchar_t*, GetItemFileExtension, kNoText, item->m_file.extension.c_str())
KIV_ITEM_QUERY(const wchar_t*, GetItemFileCreated, kNoText, FormatDate(item->m_file.created))
KIV_ITEM_QUERY(const wchar_t*, GetItemFileModified, kNoText, FormatDate(item->m_file.modified))
KIV_ITEM_QUERY(const wchar_t*, GetItemLocationPath, kNoText,
               item->m_location ? item->m_location->m_fullPath.c_str() : kNoText)
KIV_ITEM_QUERY(const wchar_t*, GetItemLocationValue, kNoText,
               item->m_location ? item->m_location->m_value.c_str() : kNoText)
KIV_ITEM_QUERY(unsigned, GetItemLocationType, 0u, item->m_location ? item->m_location->m_type : 0u)
KIV_ITEM_QUERY(int, GetItemWin32, 0, static_cast<int>(item->m_win32))
KIV_ITEM_QUERY(int, IsRemoved, 0, static_cast<int>(item->m_removed))

#undef KIV_ITEM_QUERY_BOTH
#undef KIV_ITEM_QUERY

int CKiv::DisableItem(unsigned id) {
    CKivItem* item = ItemMapGet(id);
    if (!item || !item->m_handler) return 0;
    // Already off: there is nothing to move, and moving the entry again would put it
    // where no collection looks for it.
    if (!item->m_enabled) return 1;
    int r = kiv::Guarded(0, [&] { return item->m_handler->DisableItem(item); });
    // A failed disable leaves the item as it was.
    if (r) item->m_enabled = 0;
    return r ? 1 : 0;
}

int CKiv::EnableItem(unsigned id) {
    CKivItem* item = ItemMapGet(id);
    if (!item || !item->m_handler) return 0;
    if (item->m_enabled) return 1;  // already on: nothing to change
    int r = kiv::Guarded(0, [&] { return item->m_handler->EnableItem(item); });
    if (r) item->m_enabled = static_cast<unsigned>(r);
    return r;
}

int CKiv::RemoveItem(unsigned id) {
    CKivItem* item = ItemMapGet(id);
    if (!item || !item->m_handler) return 0;
    return kiv::Guarded(0, [&] { return item->m_handler->RemoveItem(item); });
}

void CKiv::GoTo(unsigned id) {
    CKivItem* item = ItemMapGet(id);
    if (item && item->m_handler) kiv::Guarded(0, [&] { return item->m_handler->GoTo(item); });
}

int CKiv::DisableItem(unsigned c, unsigned l, unsigned i) { return DisableItem(GetItemGlobalID(c, l, i)); }
int CKiv::EnableItem(unsigned c, unsigned l, unsigned i) { return EnableItem(GetItemGlobalID(c, l, i)); }
int CKiv::RemoveItem(unsigned c, unsigned l, unsigned i) { return RemoveItem(GetItemGlobalID(c, l, i)); }
void CKiv::GoTo(unsigned c, unsigned l, unsigned i) { GoTo(GetItemGlobalID(c, l, i)); }

int CKiv::RestoreItem(unsigned id) {
    CKivItem* item = ItemMapGet(id);
    if (!item) return 0;
    if (item->m_removed && item->m_handler &&
        !kiv::Guarded(0, [&] { return item->m_handler->RestoreItem(item); })) {
        item->m_removed = 1;
        return 0;
    }
    item->m_removed = 0;
    return 1;
}

int CKiv::Ostrel_ItemCompatible(unsigned id) {
    CKivItem* item = ItemMapGet(id);
    if (!item || !item->m_handler) return 0;
    return kiv::Guarded(0, [&] { return item->m_handler->ItemCompatible(item); });
}

void CKiv::Ostrel_GetItemRegLocation(unsigned id, wchar_t* key, wchar_t* value, unsigned keySize,
                                     unsigned valueSize) {
    CKivItem* item = ItemMapGet(id);
    if (!item || !item->m_handler) return;
    kiv::Guarded(0, [&] {
        std::wstring keyText, valueText;
        item->m_handler->GetItemRegLocation(item, keyText, valueText);
        CopyOut(keyText, key, keySize);
        CopyOut(valueText, value, valueSize);
        return 0;
    });
}
