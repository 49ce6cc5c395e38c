// What the host reads and does after a collection: catalogue and item queries by
// position or global ID, and the actions that go through the item's handler.
// Each holds the item map's lock for its whole run, so a collection on another
// thread never frees an item in use, and each leaves the thread's last error
// saying how it went.
#include <cwchar>

#include "core/Facade.h"
#include "core/HandlerFactory.h"
#include "core/Guard.h"
#include "iteminfo/Md5.h"
#include "platform/Status.h"
#include "platform/Text.h"

using kiv::CriticalSectionLock;
using kiv::Facade;
using kiv::Status;

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
// buffer gets the empty string, never a cut key. False when it did not fit: a
// text with no buffer to take it (null, or no room at all) did not fit either.
bool CopyOut(const std::wstring& text, wchar_t* buffer, unsigned size) {
    if (text.empty()) return true;
    if (!buffer || size == 0) return false;
    if (text.size() + 1 > size) {
        buffer[0] = L'\0';
        return false;
    }
    wcscpy_s(buffer, size, text.c_str());
    return true;
}

// A service library's MD5 is read on the first query that asks for it, so only a
// host that shows it pays for reading the file; the text stays with the item.
const wchar_t* ServiceDllMd5(CKivItem& item) {
    if (!item.m_serviceDllHashed && !item.m_serviceDll.empty()) {
        item.m_serviceDllMd5 = kiv::FileMd5(item.m_serviceDll.c_str());
        item.m_serviceDllHashed = true;
        SetLastError(ERROR_SUCCESS);  // an unreadable library is an empty answer, not a failure
    }
    return item.m_serviceDllMd5.c_str();
}

// Answers a query: found, or refused for a position past its count.
template <typename T>
T Answer(bool found, T value, T empty) {
    SetLastError(found ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER);
    return found ? value : empty;
}

// Runs one operation of the item's handler. The last error is cleared first so a
// stale code is never reported; a failure that left none gets the general code,
// and a success leaves ERROR_SUCCESS whatever the handler's steps left behind.
// Another user's entry is changed in that user's hive, made readable for the
// operation (and kept so for a go-to, see ActionHives).
template <typename Operation>
int CallHandler(CKivItem* item, Operation operation, bool keepHives = false) {
    if (!item->m_handler) return Status::Fail(ERROR_NOT_SUPPORTED).Report();
    const kiv::ActionHives hives(item->m_location, keepHives);
    if (!hives.Ready()) return hives.Ready().Report();
    SetLastError(ERROR_SUCCESS);
    const int r = kiv::Guarded(0, [&] { return operation(*item->m_handler, item); });
    if (r) SetLastError(ERROR_SUCCESS);
    else Status::Fail(GetLastError()).Report();
    return r;
}

// The living items of the removed item's location whose entries a removal of its
// entry takes with it (itself included where the removal works that way); the
// caller holds the map's lock.
std::vector<CKivItem*> ItemsRemovedWith(const kiv::ItemMap& items, const CKivItem& removed) {
    std::vector<CKivItem*> group;
    if (!removed.m_location) return group;
    for (unsigned id : removed.m_location->m_itemIds) {
        CKivItem* other = items.Find(id);
        if (other && RemovedWith(removed, *other)) group.push_back(other);
    }
    return group;
}

}  // namespace

namespace kiv {

CKivItem* Facade::LiveItem(unsigned id) {
    CKivItem* item = m_items.Find(id);
    SetLastError(item ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER);
    return item;
}

CKivItem* Facade::ActionItem(unsigned id) {
    CKivItem* item = LiveItem(id);
    // Its handler may still be adding the registry names an action needs.
    if (item && item->m_location == m_reading && GetCurrentThreadId() != m_readingThread) {
        SetLastError(ERROR_BUSY);
        return nullptr;
    }
    return item;
}

}  // namespace kiv

unsigned CKiv::GetCategoryCount() {
    SetLastError(ERROR_SUCCESS);
    return static_cast<unsigned>(Self().m_catalogue.Categories().size());
}

const wchar_t* CKiv::GetCategoryName(unsigned c) {
    const auto& categories = Self().m_catalogue.Categories();
    const bool found = c < categories.size();
    return Answer(found, found ? categories[c]->m_name.c_str() : kNoText, kNoText);
}

unsigned CKiv::GetLocationCount(unsigned c) {
    const auto& categories = Self().m_catalogue.Categories();
    const bool found = c < categories.size();
    return Answer(found, found ? static_cast<unsigned>(categories[c]->m_locations.size()) : 0u, 0u);
}

const wchar_t* CKiv::GetLocationPath(unsigned c, unsigned l) {
    Location* location = Self().m_catalogue.LocationAt(c, l);
    return location ? location->m_fullPath.c_str() : kNoText;
}

unsigned CKiv::GetLocationType(unsigned c, unsigned l) {
    Location* location = Self().m_catalogue.LocationAt(c, l);
    return location ? location->m_type : 0;
}

EKivHandlerType CKiv::GetLocationHandlerType(unsigned c, unsigned l) {
    Location* location = Self().m_catalogue.LocationAt(c, l);
    return location ? location->m_handlerType : RegValue;
}

namespace {

// The user of another user's copy of a location; the empty text otherwise.
const wchar_t* LocationUser(const Location* location) {
    return location && location->m_user ? location->m_user->Name().c_str() : kNoText;
}

}  // namespace

const wchar_t* CKiv::GetLocationUser(unsigned c, unsigned l) {
    return LocationUser(Self().m_catalogue.LocationAt(c, l));
}

unsigned CKiv::GetLocationReadError(unsigned c, unsigned l) {
    Facade& self = Self();
    // A collection or an action on another thread records it under the lock.
    CriticalSectionLock lock(self.m_items.Lock());
    Location* location = self.m_catalogue.LocationAt(c, l);
    return location ? location->m_readError : 0u;
}

unsigned CKiv::GetItemCount(unsigned c, unsigned l) {
    Facade& self = Self();
    // A collection fills the list under the lock.
    CriticalSectionLock lock(self.m_items.Lock());
    Location* location = self.m_catalogue.LocationAt(c, l);
    return location ? static_cast<unsigned>(location->m_itemIds.size()) : 0;
}

unsigned CKiv::GetItemGlobalID(unsigned c, unsigned l, unsigned i) {
    Facade& self = Self();
    CriticalSectionLock lock(self.m_items.Lock());
    Location* location = self.m_catalogue.LocationAt(c, l);
    const bool found = location && i < location->m_itemIds.size();
    return Answer(found, found ? location->m_itemIds[i] : 0u, 0u);
}

// Each query reads one field of a living item, or gives its empty answer. The
// position form resolves its ID under the same hold of the lock.
#define KIV_ITEM_QUERY(Type, Name, empty, expr)        \
    Type CKiv::Name(unsigned id) {                     \
        Facade& self = Self();                         \
        CriticalSectionLock lock(self.m_items.Lock()); \
        CKivItem* item = self.LiveItem(id);            \
        return item ? (expr) : (empty);                \
    }
#define KIV_ITEM_QUERY_BOTH(Type, Name, empty, expr)      \
    KIV_ITEM_QUERY(Type, Name, empty, expr)               \
    Type CKiv::Name(unsigned c, unsigned l, unsigned i) { \
        CriticalSectionLock lock(Self().m_items.Lock());  \
        return Name(GetItemGlobalID(c, l, i));            \
    }

KIV_ITEM_QUERY_BOTH(const wchar_t*, GetItemTitle, kNoText, item->m_title.c_str())
// An entry that Windows' own switch keeps from starting is not enabled, wherever it stands.
KIV_ITEM_QUERY_BOTH(int, GetItemEnabled, 0, static_cast<int>(item->m_enabled && !item->m_startupSwitchOff))
KIV_ITEM_QUERY_BOTH(HICON, GetItemIcon, nullptr, kiv::FileIcon(item->m_file))
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
KIV_ITEM_QUERY(const wchar_t*, GetItemUser, kNoText, LocationUser(item->m_location))
KIV_ITEM_QUERY(const wchar_t*, GetItemLocationValue, kNoText,
               item->m_location ? item->m_location->m_value.c_str() : kNoText)
KIV_ITEM_QUERY(unsigned, GetItemLocationType, 0u, item->m_location ? item->m_location->m_type : 0u)
KIV_ITEM_QUERY(int, GetItemWin32, 0, static_cast<int>(item->m_win32))
KIV_ITEM_QUERY(int, IsRemoved, 0, static_cast<int>(item->m_removed))
KIV_ITEM_QUERY(int, GetItemStartupSwitchOff, 0, static_cast<int>(item->m_startupSwitchOff))
KIV_ITEM_QUERY(const wchar_t*, GetItemServiceDll, kNoText, item->m_serviceDll.c_str())
KIV_ITEM_QUERY(const wchar_t*, GetItemServiceDllMd5, kNoText, ServiceDllMd5(*item))

#undef KIV_ITEM_QUERY_BOTH
#undef KIV_ITEM_QUERY

int CKiv::DisableItem(unsigned id) {
    Facade& self = Self();
    CriticalSectionLock lock(self.m_items.Lock());
    CKivItem* item = self.ActionItem(id);
    if (!item) return 0;
    // Already off: there is nothing to move, and moving the entry again would put it
    // where no collection looks for it.
    if (!item->m_enabled) return Status::Ok().Report();
    const int r = CallHandler(item, [](CKivHandler& h, CKivItem* i) { return h.DisableItem(i); });
    // A failed disable leaves the item as it was.
    if (r) item->m_enabled = 0;
    return r ? 1 : 0;
}

int CKiv::EnableItem(unsigned id) {
    Facade& self = Self();
    CriticalSectionLock lock(self.m_items.Lock());
    CKivItem* item = self.ActionItem(id);
    if (!item) return 0;
    // Already on: nothing to change. An entry back in its place whose startup switch
    // Windows keeps off is not on yet.
    if (item->m_enabled && !item->m_startupSwitchOff) return Status::Ok().Report();
    const int r = CallHandler(item, [](CKivHandler& h, CKivItem* i) { return h.EnableItem(i); });
    if (r) item->m_enabled = static_cast<unsigned>(r);
    return r;
}

int CKiv::RemoveItem(unsigned id) {
    Facade& self = Self();
    CriticalSectionLock lock(self.m_items.Lock());
    CKivItem* item = self.ActionItem(id);
    if (!item) return 0;
    const int r = CallHandler(item, [](CKivHandler& h, CKivItem* i) { return h.RemoveItem(i); });
    // Entries the system removed together with this one are gone as well.
    if (r)
        for (CKivItem* other : ItemsRemovedWith(self.m_items, *item)) other->m_removed = 1;
    return r;
}

std::vector<unsigned> CKiv::GetItemRemovalGroup(unsigned id) {
    Facade& self = Self();
    CriticalSectionLock lock(self.m_items.Lock());
    // The other items are read too: none of a location another thread still reads.
    CKivItem* item = self.ActionItem(id);
    if (!item) return {};
    SetLastError(ERROR_SUCCESS);
    std::vector<unsigned> group{id};
    for (CKivItem* other : ItemsRemovedWith(self.m_items, *item))
        if (other != item) group.push_back(other->m_globalId);
    return group;
}

void CKiv::GoTo(unsigned id) {
    Facade& self = Self();
    CriticalSectionLock lock(self.m_items.Lock());
    if (CKivItem* item = self.ActionItem(id))
        CallHandler(
            item, [](CKivHandler& h, CKivItem* i) { return h.GoTo(i); }, true);
}

// The position forms resolve the ID and act under one hold of the lock.
#define KIV_ACTION_AT(Type, Name)                         \
    Type CKiv::Name(unsigned c, unsigned l, unsigned i) { \
        CriticalSectionLock lock(Self().m_items.Lock());  \
        return Name(GetItemGlobalID(c, l, i));            \
    }
KIV_ACTION_AT(int, DisableItem)
KIV_ACTION_AT(int, EnableItem)
KIV_ACTION_AT(int, RemoveItem)
KIV_ACTION_AT(void, GoTo)
#undef KIV_ACTION_AT

int CKiv::RestoreItem(unsigned id) {
    Facade& self = Self();
    CriticalSectionLock lock(self.m_items.Lock());
    CKivItem* item = self.ActionItem(id);
    if (!item) return 0;
    if (item->m_removed && !CallHandler(item, [](CKivHandler& h, CKivItem* i) { return h.RestoreItem(i); })) {
        item->m_removed = 1;
        return 0;
    }
    item->m_removed = 0;
    SetLastError(ERROR_SUCCESS);
    return 1;
}

int CKiv::Ostrel_ItemCompatible(unsigned id) {
    Facade& self = Self();
    CriticalSectionLock lock(self.m_items.Lock());
    CKivItem* item = self.ActionItem(id);
    if (!item || !item->m_handler) return 0;
    const int compatible = kiv::Guarded(0, [&] { return item->m_handler->ItemCompatible(item); });
    // A "no" is an answer, not a failure.
    SetLastError(ERROR_SUCCESS);
    return compatible;
}

void CKiv::Ostrel_GetItemRegLocation(unsigned id, wchar_t* key, wchar_t* value, unsigned keySize, unsigned valueSize) {
    Facade& self = Self();
    CriticalSectionLock lock(self.m_items.Lock());
    CKivItem* item = self.ActionItem(id);
    if (!item || !item->m_handler) return;
    const DWORD code = kiv::Guarded(static_cast<DWORD>(ERROR_GEN_FAILURE), [&] {
        std::wstring keyText, valueText;
        item->m_handler->GetItemRegLocation(item, keyText, valueText);
        const bool keyFitted = CopyOut(keyText, key, keySize);
        const bool fitted = CopyOut(valueText, value, valueSize) && keyFitted;
        return static_cast<DWORD>(fitted ? ERROR_SUCCESS : ERROR_INSUFFICIENT_BUFFER);
    });
    SetLastError(code);
}

bool CKiv::IsWhiteListed(unsigned id) {
    Facade& self = Self();
    CriticalSectionLock lock(self.m_items.Lock());
    CKivItem* item = self.LiveItem(id);
    if (!item) return false;
    const bool listed = kiv::Guarded(false, [&] { return self.m_whiteList.Covers(item->m_file); });
    // "Not listed" is an answer, whatever the protected-file check left behind.
    SetLastError(ERROR_SUCCESS);
    return listed;
}
