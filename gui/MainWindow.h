// The main window: one list of every item the last collection found, grouped by
// category, with the actions on the selected item, a filter, and the collection
// itself on a worker thread so that the window stays responsive.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "GuiHandles.h"
#include "GuiModel.h"
#include "Settings.h"

class CKiv;

namespace kivgui {

extern const wchar_t kMainWindowClass[];

class MainWindow {
public:
    explicit MainWindow(CKiv* kiv);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    bool Create(HINSTANCE instance, int show);
    // Runs the message loop until the window is gone; returns the exit code.
    int Run();

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    // Window and layout.
    void CreateControls();
    void CreateColumns();
    void ApplyDpi(UINT dpi);
    void Layout();
    int Scale(int value) const;

    // Collection.
    void StartCollect();
    void StopCollect();
    void OnProgressTimer();
    void OnCollected();
    void LoadRows();
    void BuildImages();
    void ShowCollecting(bool collecting);

    // The list.
    void Populate();
    void Sort(int column, bool toggle);
    int ListIndexOfRow(size_t row) const;
    GuiRow* SelectedRow(size_t* index = nullptr);
    void ShowRowState(size_t row);
    void UpdateCountText();

    // Commands.
    void OnCommand(int id, int code, HWND from);
    LRESULT OnNotify(NMHDR* header);
    void OnItemChanged(const NMLISTVIEW* change);
    void OnContextMenu(HWND from, LPARAM position);
    void OnInitMenu(HMENU menu);
    bool ActionsAllowed();
    void SetItemEnabled(size_t row, bool enable);
    void RemoveSelected();
    void RestoreSelected();
    void GoToSelected();
    void CopyToClipboard(const std::wstring& text);
    void ShowProperties();
    void RestartAsAdministrator();
    void SetStatus(const std::wstring& text);
    void SaveWindowSettings();

    CKiv* m_kiv;
    HINSTANCE m_instance = nullptr;
    HWND m_hwnd = nullptr;
    HWND m_list = nullptr;
    HWND m_filter = nullptr;
    HWND m_filterLabel = nullptr;
    HWND m_hide = nullptr;
    HWND m_refresh = nullptr;
    HWND m_stop = nullptr;
    HWND m_runAs = nullptr;
    HWND m_progress = nullptr;
    HWND m_status = nullptr;
    HWND m_lastFocus = nullptr;
    HMENU m_menu = nullptr;
    HACCEL m_accelerators = nullptr;
    UniqueFont m_font;
    UniqueImageList m_images;
    UINT m_dpi = 96;
    bool m_elevated = false;

    Settings m_settings;
    std::vector<GuiRow> m_rows;
    std::wstring m_filterText;
    int m_sortColumn = -1;
    bool m_sortAscending = true;
    bool m_updatingList = false;  // check box changes made by the window itself

    std::thread m_worker;
    std::atomic<bool> m_collecting{false};
    bool m_stopRequested = false;
    bool m_closeWhenCollected = false;
    unsigned m_seen = 0;
};

}  // namespace kivgui
