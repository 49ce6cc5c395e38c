// The module's one exported class. The host creates the process-wide facade with
// CKiv::Init, fills it with Collect, reads and acts on the results, and ends it
// with CKiv::Dispose.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
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
};

class Category;
class Location;
class CKivItem;
class CKivHandler;
class CKivTestAccess;
namespace kiv {
class XmlNode;
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
    // Whether a registry location of the catalogue lists the named value of the key
    // (root and path below it): a value location naming it, or a run-key location
    // over the whole key.
    bool ListsRegistryValue(HKEY root, const std::wstring& path, const std::wstring& value) const;
    CKivHandler* GetHandler(EKivHandlerType type);

    // Item map: global IDs are dense from 1 and restart with every Collect.
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
    unsigned GetItemLocationType(unsigned id);
    int GetItemWin32(unsigned id);
    int IsRemoved(unsigned id);
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
    int Ostrel_ItemCompatible(unsigned id);
    // Sizes in characters, terminator included. A text that does not fit leaves an
    // empty string in its buffer; a null buffer or a size of 0 is left alone.
    void Ostrel_GetItemRegLocation(unsigned id, wchar_t* key, wchar_t* value, unsigned keySize, unsigned valueSize);

    CKiv(const CKiv&) = delete;
    CKiv& operator=(const CKiv&) = delete;

private:
    CKiv();
    ~CKiv();

    Location* LocationAt(unsigned c, unsigned l);
    void CollectEnvPaths();
    void CollectCategory(Category* category);
    void DestroyItems();
    bool LoadData();
    void LoadCategory(const kiv::XmlNode& cat);
    void LoadWhiteListFile();
    bool LoadWhiteList(const wchar_t* text);
    bool GetWhiteList(const wchar_t* path, const wchar_t* name);

    friend class CKivTestAccess;

    std::vector<Category*> m_categories;
    std::map<EKivHandlerType, CKivHandler*> m_handlers;
    std::vector<std::wstring> m_envPaths;
    std::map<unsigned, CKivItem*> m_itemMap;
    CRITICAL_SECTION m_lock;
    std::atomic<int> m_stop;
    std::map<std::wstring, unsigned> m_whiteList;

    static CKiv* _objInstance;
};
