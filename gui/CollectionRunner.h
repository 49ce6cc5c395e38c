// A collection on a worker thread, so that the window stays responsive: its
// progress bar and count while it runs, and its stop, which keeps what was found.
#pragma once

#include <windows.h>

#include <atomic>
#include <thread>

#include "StatusBar.h"

class CKiv;

namespace kivgui {

class CollectionRunner {
public:
    // Posted to the owner once the worker's collection has returned.
    static constexpr UINT kMsgCollected = WM_APP + 1;
    static constexpr UINT_PTR kProgressTimer = 1;

    explicit CollectionRunner(CKiv* kiv) : m_kiv(kiv) {}
    // A run still going is stopped and waited for.
    ~CollectionRunner();
    CollectionRunner(const CollectionRunner&) = delete;
    CollectionRunner& operator=(const CollectionRunner&) = delete;

    // The window that gets the messages and the timer, the controls that show a run
    // (the progress bar and the buttons that start and stop one) and the status bar.
    void Attach(HWND owner, HWND progress, HWND refresh, HWND stop, const StatusBar* status);

    bool Running() const { return m_collecting; }
    bool StopRequested() const { return m_stopRequested; }
    // Starts a run. The items of the last run are destroyed by it: the window must
    // hold nothing of them any more.
    void Start();
    // Asks the run to stop after the current location.
    void Stop();
    // The progress timer: the count of items found so far.
    void OnTimer();
    // The worker is back (kMsgCollected): the run has ended.
    void Finish();
    void StopTimer();

private:
    void ShowCollecting(bool collecting);

    CKiv* m_kiv;
    HWND m_owner = nullptr;
    HWND m_progress = nullptr;
    HWND m_refresh = nullptr;
    HWND m_stop = nullptr;
    const StatusBar* m_status = nullptr;
    std::thread m_worker;
    std::atomic<bool> m_collecting{false};
    bool m_stopRequested = false;
    unsigned m_seen = 0;
};

}  // namespace kivgui
