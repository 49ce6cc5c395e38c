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

    // Item map: global IDs are dense from 1 and restart with every Collect.
    unsigned ItemMapAddNew(CKivItem* item);
    CKivItem* ItemMapGet(unsigned id);
    void ItemMapRemove(unsigned id);

    // Whether the item's file is protected by the system or its MD5 is whitelisted.
    bool IsWhiteListed(unsigned id);

    CKiv(const CKiv&) = delete;
    CKiv& operator=(const CKiv&) = delete;

private:
    CKiv();
    ~CKiv();

    void CollectEnvPaths();
    void CollectCategory(Category* category);
    void DestroyItems();
    bool LoadData();
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
