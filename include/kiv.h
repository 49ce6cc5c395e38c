// The module's one exported class. The host creates the process-wide facade with
// CKiv::Init, fills it with Collect, reads and acts on the results, and ends it
// with CKiv::Dispose.
//
// Failures: every query and action below keeps its documented result, and also
// sets the calling thread's last error (GetLastError): ERROR_SUCCESS when it
// succeeded, and otherwise why it failed:
//   ERROR_INVALID_PARAMETER    an ID of no living item, or a position past its count;
//   ERROR_FILE_NOT_FOUND       the item's entry or file is no longer there;
//   ERROR_INSUFFICIENT_BUFFER  a registry location text did not fit its buffer;
//   ERROR_NOT_SUPPORTED        the item's kind of location has no such action;
//   ERROR_ALREADY_EXISTS       the place the entry would move to holds another entry
//                              of the same name; both are kept as they were;
//   ERROR_BUSY                 a collection on another thread is still reading the
//                              item's location (its entry is not complete yet);
//   ERROR_GEN_FAILURE          the action failed without a more precise cause;
//   any other code             the first system call that failed (access denied, ...).
// A predicate's "no" (IsWhiteListed, Ostrel_ItemCompatible) is an answer, not a
// failure.
//
// Threads: Init, Collect and Dispose run on the host's thread. While Collect runs
// on one thread, another may call StopCollect, ItemMapGet, ItemMapRemove and every
// query and action below: each holds the facade's lock for its whole run, and a
// collection takes the same lock to destroy the previous items and to register
// the items of each location once their files have been read (an item has no ID,
// and ItemMapGet does not find it, before then). An ID whose item the collection
// has destroyed, or has not registered yet, answers like any
// dead ID (0, empty text, ERROR_INVALID_PARAMETER); IDs restart at 1 with every
// run, so an old ID may name a new item once the new run has made it. Pointers
// returned (texts, icons, items) stay valid until their item is destroyed, that
// is until the next Collect begins or Dispose runs; catalogue texts live until
// Dispose. EnvPaths is for the collection's own thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#if defined(KIV_BUILDING)
#define KIV_API __declspec(dllexport)
#elif defined(KIV_STATIC)
#define KIV_API
#else
#define KIV_API __declspec(dllimport)
#endif

// One handler object exists per value; the catalogue's "htype" names one of them.
enum EKivHandlerType : int {
    RegValue = 0,
    RegValueEx = 1,
    SimpleFile = 2,
    CoIdInKeyValue = 3,
    CoIdInKey = 4,
    CoIdInValue = 5,
    TaskScheduler = 6,
    Services = 7,
    Drivers = 8,
    WinIni = 9,
    SystemIni = 10,
    AutorunInf = 11,
    DesktopIniObj = 12,
    LspChain = 13,
    AppInitDll = 14,
    AutoPlay = 15,
    ServiceRecovery = 16,
    AccessibilityPrograms = 17,
    HiddenTasks = 18,
    BitsJobs = 19,
    WmiSubscriptions = 20,
};

class Category;
class Location;
class CKivItem;
class CKivHandler;
namespace kiv {
class Facade;
}

class KIV_API CKiv {
public:
    // Lifecycle.
    static CKiv* Init();
    static CKiv* Get();
    static void Dispose();

    // Collection. StopCollect is the one call meant for a second thread.
    void Collect();
    void StopCollect();

    const std::vector<std::wstring>& EnvPaths() const;
    CKivHandler* GetHandler(EKivHandlerType type);

    // Item map: global IDs are dense from 1 and restart with every Collect. The map
    // owns its items: an item added is destroyed by the facade; an entry removed
    // leaves its item alive, unreachable by ID, until the next Collect or Dispose.
    unsigned ItemMapAddNew(CKivItem* item);
    CKivItem* ItemMapGet(unsigned id);
    void ItemMapRemove(unsigned id);

    // Catalogue queries. Indices past their counts give 0 or empty text.
    unsigned GetCategoryCount();
    const wchar_t* GetCategoryName(unsigned c);
    unsigned GetLocationCount(unsigned c);
    const wchar_t* GetLocationPath(unsigned c, unsigned l);
    unsigned GetLocationType(unsigned c, unsigned l);
    EKivHandlerType GetLocationHandlerType(unsigned c, unsigned l);
    // Every user of the machine: each location below HKEY_CURRENT_USER or below the
    // user's profile folder is followed, in its category, by one copy for each other
    // profile of the machine's profile list (service accounts left out), whose path
    // lies below "HKU\<SID>" (HKEY_USERS; "HKU\<SID>_Classes" for the user's classes)
    // or below that profile's folder. The running user's locations keep their place
    // and paths. A hive Windows has not loaded (the user is not logged on) is loaded
    // from the profile for each collection and each action (and a go-to, until the
    // next Collect or Dispose) and unloaded after; that needs the backup and restore
    // privileges, which the module enables only for the load and the unload.
    //
    // GetLocationUser: whose copy a location is, the account as "DOMAIN\name" (the
    // SID text when it cannot be looked up); the empty text for the running user's
    // and the machine's locations. Empty text with ERROR_INVALID_PARAMETER for a
    // position past its count, otherwise ERROR_SUCCESS.
    const wchar_t* GetLocationUser(unsigned c, unsigned l);
    // GetLocationReadError: 0 when the last collection read the location; otherwise
    // the system's code of why the user's hive could not be read (the location then
    // has no items): ERROR_PRIVILEGE_NOT_HELD without the privileges to load it,
    // ERROR_FILE_NOT_FOUND when the profile has no hive file, ERROR_SHARING_VIOLATION
    // when another process holds it, or what loading it answered. An action on an
    // item of such a location fails with the same code. 0 with
    // ERROR_INVALID_PARAMETER for a position past its count, otherwise
    // ERROR_SUCCESS.
    unsigned GetLocationReadError(unsigned c, unsigned l);
    unsigned GetItemCount(unsigned c, unsigned l);
    unsigned GetItemGlobalID(unsigned c, unsigned l, unsigned i);

    // Item queries, by position (category, location, item) or by global ID. An ID of
    // no living item gives 0 or empty text.
    const wchar_t* GetItemTitle(unsigned c, unsigned l, unsigned i);
    const wchar_t* GetItemTitle(unsigned id);
    int GetItemEnabled(unsigned c, unsigned l, unsigned i);
    int GetItemEnabled(unsigned id);
    HICON GetItemIcon(unsigned c, unsigned l, unsigned i);
    HICON GetItemIcon(unsigned id);
    const wchar_t* GetItemFilePath(unsigned c, unsigned l, unsigned i);
    const wchar_t* GetItemFilePath(unsigned id);
    const wchar_t* GetItemFileName(unsigned c, unsigned l, unsigned i);
    const wchar_t* GetItemFileName(unsigned id);
    const wchar_t* GetItemFileMd5(unsigned c, unsigned l, unsigned i);
    const wchar_t* GetItemFileMd5(unsigned id);
    unsigned long long GetItemFileSize(unsigned c, unsigned l, unsigned i);
    unsigned long long GetItemFileSize(unsigned id);
    const wchar_t* GetItemFilePublisher(unsigned c, unsigned l, unsigned i);
    const wchar_t* GetItemFilePublisher(unsigned id);
    const wchar_t* GetItemFileDescription(unsigned c, unsigned l, unsigned i);
    const wchar_t* GetItemFileDescription(unsigned id);
    const wchar_t* GetItemFileShortcutTarget(unsigned id);
    const wchar_t* GetItemFileExtension(unsigned id);
    // Both dates share one buffer: each call overwrites it.
    const wchar_t* GetItemFileCreated(unsigned id);
    const wchar_t* GetItemFileModified(unsigned id);
    const wchar_t* GetItemLocationPath(unsigned id);
    const wchar_t* GetItemLocationValue(unsigned id);
    // Whose entry it is: GetLocationUser of the item's location. Empty text with
    // ERROR_INVALID_PARAMETER for an ID of no living item, otherwise ERROR_SUCCESS.
    const wchar_t* GetItemUser(unsigned id);
    unsigned GetItemLocationType(unsigned id);
    int GetItemWin32(unsigned id);
    int IsRemoved(unsigned id);
    // Nonzero when Windows' own startup switch (Task Manager's or the Settings app's,
    // kept for run values of the machine and the user and for startup files) keeps
    // the entry from starting. Such an entry reads as disabled (GetItemEnabled 0)
    // wherever it stands; EnableItem turns the switch back on, DisableItem still
    // moves the entry to its disabled place. 0 with ERROR_INVALID_PARAMETER for an
    // ID of no living item, otherwise ERROR_SUCCESS.
    int GetItemStartupSwitchOff(unsigned id);
    // A service run inside a shared host process: the library the host loads for it
    // ("ServiceDll" of the service's "Parameters" key or of its own key, expanded),
    // and that library's MD5 (32 lower-case digits, read on the first call; empty
    // when it cannot be read). Empty for every other item. Empty text with
    // ERROR_INVALID_PARAMETER for an ID of no living item, otherwise ERROR_SUCCESS.
    const wchar_t* GetItemServiceDll(unsigned id);
    const wchar_t* GetItemServiceDllMd5(unsigned id);
    // Whether the item's file is protected by the system or its MD5 is whitelisted.
    bool IsWhiteListed(unsigned id);

    // Actions, through the handler that found the item; nonzero on success.
    int DisableItem(unsigned c, unsigned l, unsigned i);
    int DisableItem(unsigned id);
    int EnableItem(unsigned c, unsigned l, unsigned i);
    int EnableItem(unsigned id);
    int RemoveItem(unsigned c, unsigned l, unsigned i);
    int RemoveItem(unsigned id);
    void GoTo(unsigned c, unsigned l, unsigned i);
    void GoTo(unsigned id);
    int RestoreItem(unsigned id);
    // The IDs of the items whose entries a removal of this item's entry removes with
    // it, the item's own first: Winsock removes a provider with every catalogue entry
    // it has, so removing one of them removes them all (and, once removed, every one
    // of their items reads as removed). Empty for an ID of no living item.
    std::vector<unsigned> GetItemRemovalGroup(unsigned id);
    int Ostrel_ItemCompatible(unsigned id);
    // The registry key and value that hold the item's entry. A WMI subscription
    // (WmiSubscriptions) has none: its key is the namespace and the binding's path
    // ("root\subscription:__FilterToConsumerBinding..."), its value the text the
    // consumer runs (command line, script file or script text, cut at 1,000
    // characters).
    // Sizes in characters, terminator included. A text that does not fit leaves an
    // empty string in its buffer; a null buffer or a size of 0 is left alone. Either
    // way the last error is ERROR_INSUFFICIENT_BUFFER when the item has such a text.
    void Ostrel_GetItemRegLocation(unsigned id, wchar_t* key, wchar_t* value, unsigned keySize, unsigned valueSize);

    CKiv(const CKiv&) = delete;
    CKiv& operator=(const CKiv&) = delete;

protected:
    // Only the module's own implementation is a CKiv: the exported class holds no
    // state, so its layout is the same for every compiler that uses the header.
    CKiv() = default;
    ~CKiv() = default;

private:
    kiv::Facade& Self();
    const kiv::Facade& Self() const;
};
