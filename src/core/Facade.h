// The state behind the exported facade: the handlers, the catalogue, the items of
// the last collection with the map of their global IDs, the folders of "PATH" and
// the whitelist, each owned by its container, and the lock that lets a second
// thread query and act while a collection runs.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/KivHandler.h"
#include "core/Records.h"
#include "kiv.h"
#include "platform/Handles.h"

class CKivTestAccess;

namespace kiv {

class WorkerPool;
class XmlNode;

class Facade final : public CKiv, public ItemRegistry {
public:
    // Makes one handler object per handler type.
    Facade();
    ~Facade() override;

    static Facade& Of(CKiv& kiv) { return static_cast<Facade&>(kiv); }

    unsigned AddItem(CKivItem* item) override;
    void ForgetItem(unsigned id, const CKivItem* item) override;
    const std::vector<std::wstring>& EnvPaths() const override { return m_envPaths; }
    bool ListsRegistryValue(HKEY root, const std::wstring& path, const std::wstring& value) const override;

    bool LoadData();

private:
    friend class ::CKiv;
    friend class ::CKivTestAccess;

    // The living item of an ID, or null. Sets the thread's last error to say
    // which; the caller holds the lock.
    CKivItem* LiveItem(unsigned id);
    // The living item of an ID that an action may hand to its handler: not one
    // whose location a collection on another thread is still reading (last error
    // ERROR_BUSY then). The caller holds the lock.
    CKivItem* ActionItem(unsigned id);
    // The location at a position, or null (last error set likewise).
    Location* LocationAt(unsigned c, unsigned l);

    class ReadingScope;
    void CollectEnvPaths();
    void CollectCategory(Category& category, WorkerPool& readers);
    void DestroyItems();
    // Whether an item whose entry was removed from the map still holds the ID.
    bool HeldByDetached(unsigned id) const;
    // The highest ID any living item holds, or 0.
    unsigned HighestId() const;

    Category& AddCategory(const std::wstring& name, int icon);
    // A location of the catalogue, with its handler and this facade as its registry.
    Location& AddLocation(Category& category, const std::wstring& path, const std::wstring& value, unsigned type,
                          EKivHandlerType handlerType, unsigned char wow64);
    void LoadCategory(const XmlNode& cat);
    void LoadWhiteListFile();
    bool LoadWhiteList(const wchar_t* text);
    bool GetWhiteList(const wchar_t* path, const wchar_t* name);

    // Declared first, so it outlives everything it guards.
    CriticalSection m_lock;
    std::vector<std::unique_ptr<Category>> m_categories;
    std::map<EKivHandlerType, std::unique_ptr<CKivHandler>> m_handlers;
    std::vector<std::wstring> m_envPaths;
    std::map<unsigned, std::unique_ptr<CKivItem>> m_itemMap;
    // Items whose entries were removed from the map: alive until the next run.
    std::vector<std::unique_ptr<CKivItem>> m_detached;
    std::atomic<int> m_stop{0};
    // The location whose passes are running, and the thread running them.
    const Location* m_reading = nullptr;
    DWORD m_readingThread = 0;
    std::map<std::wstring, unsigned> m_whiteList;
};

}  // namespace kiv
