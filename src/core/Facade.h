// The state behind the exported facade, composed of its parts: the handlers it
// makes, the catalogue, the item map (the registry every location is lent, with
// the lock that lets a second thread query and act while a collection runs) and
// the whitelist, and the state of the collection that is running.
#pragma once

#include <atomic>
#include <memory>

#include "core/Catalogue.h"
#include "core/ItemMap.h"
#include "core/KivHandler.h"
#include "core/Records.h"
#include "core/WhiteList.h"
#include "kiv.h"

class CKivTestAccess;

namespace kiv {

class WorkerPool;
class FileFactsMemo;

class Facade final : public CKiv {
public:
    // Makes one handler object per handler type.
    Facade();
    ~Facade();

    static Facade& Of(CKiv& kiv) { return static_cast<Facade&>(kiv); }

    // Reads the catalogue and the whitelist beside the host's executable; false
    // when there is no catalogue file.
    bool LoadData();

private:
    friend class ::CKiv;
    friend class ::CKivTestAccess;

    // The living item of an ID, or null. Sets the thread's last error to say
    // which; the caller holds the item map's lock.
    CKivItem* LiveItem(unsigned id);
    // The living item of an ID that an action may hand to its handler: not one
    // whose location a collection on another thread is still reading (last error
    // ERROR_BUSY then). The caller holds the lock.
    CKivItem* ActionItem(unsigned id);

    class ReadingScope;
    class UserHivesScope;
    void CollectCategory(Category& category, WorkerPool& readers, FileFactsMemo& memo);

    HandlerSet m_handlers;
    Catalogue m_catalogue{m_handlers, m_items};
    ItemMap m_items{m_catalogue};
    WhiteList m_whiteList;
    std::atomic<int> m_stop{0};
    // How many threads read the entries' files beside the collecting thread.
    unsigned m_fileReaders;
    // The location whose passes are running, and the thread running them; both
    // under the item map's lock.
    const Location* m_reading = nullptr;
    DWORD m_readingThread = 0;
};

}  // namespace kiv
