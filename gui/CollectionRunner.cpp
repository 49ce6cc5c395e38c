#include "CollectionRunner.h"

#include <commctrl.h>
#include <objbase.h>

#include <string>

#include "kiv.h"

namespace kivgui {

CollectionRunner::~CollectionRunner() {
    if (m_worker.joinable()) {
        m_kiv->StopCollect();
        m_worker.join();
    }
}

void CollectionRunner::Attach(HWND owner, HWND progress, HWND refresh, HWND stop, const StatusBar* status) {
    m_owner = owner;
    m_progress = progress;
    m_refresh = refresh;
    m_stop = stop;
    m_status = status;
}

void CollectionRunner::Start() {
    if (m_collecting) return;
    if (m_worker.joinable()) m_worker.join();
    m_seen = 0;
    m_stopRequested = false;
    m_collecting = true;
    ShowCollecting(true);
    m_status->Say(L"Collecting...");
    HWND owner = m_owner;
    CKiv* kiv = m_kiv;
    m_worker = std::thread([owner, kiv] {
        // Handlers create COM objects (the Task Scheduler, shell links) on this thread.
        HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        kiv->Collect();
        if (SUCCEEDED(com)) CoUninitialize();
        PostMessageW(owner, kMsgCollected, 0, 0);
    });
}

void CollectionRunner::Stop() {
    if (!m_collecting) return;
    m_stopRequested = true;
    m_kiv->StopCollect();
    m_status->Say(L"Stopping after the current location...");
}

// The item map is the one thing that may be read while a collection runs.
void CollectionRunner::OnTimer() {
    // A collection begins by clearing the stop flag, so a stop asked for before the
    // worker reached it is asked again until the run ends.
    if (m_stopRequested) m_kiv->StopCollect();
    while (m_kiv->ItemMapGet(m_seen + 1)) ++m_seen;
    m_status->Count(std::to_wstring(m_seen) + L" found");
    if (!m_stopRequested) m_status->Say(L"Collecting... " + std::to_wstring(m_seen) + L" item(s) found");
}

void CollectionRunner::Finish() {
    if (m_worker.joinable()) m_worker.join();
    m_collecting = false;
    ShowCollecting(false);
}

void CollectionRunner::StopTimer() { KillTimer(m_owner, kProgressTimer); }

void CollectionRunner::ShowCollecting(bool collecting) {
    ShowWindow(m_progress, collecting ? SW_SHOW : SW_HIDE);
    SendMessageW(m_progress, PBM_SETMARQUEE, collecting, 50);
    EnableWindow(m_stop, collecting);
    EnableWindow(m_refresh, !collecting);
    if (collecting) SetTimer(m_owner, kProgressTimer, 100, nullptr);
    else KillTimer(m_owner, kProgressTimer);
}

}  // namespace kivgui
