// The main window: the toolbar of buttons and the filter, the list of items, the
// status bar, and the menus and keys that reach the actions. It composes the
// collection runner, the item list view and the actions, and routes the window's
// messages to them.
#pragma once

#include <windows.h>

#include "CollectionRunner.h"
#include "GuiHandles.h"
#include "ItemActions.h"
#include "ItemListView.h"
#include "Settings.h"
#include "StatusBar.h"

class CKiv;

namespace kivgui {

extern const wchar_t kMainWindowClass[];

class MainWindow {
public:
    explicit MainWindow(CKiv* kiv);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    bool Create(HINSTANCE instance, int show);
    // Runs the message loop until the window is gone; returns the exit code.
    int Run();

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    void CreateControls();
    void ApplyDpi(UINT dpi);
    void Layout();
    int Scale(int value) const;

    void StartCollect();
    void OnCollected();

    void OnCommand(int id, int code, HWND from);
    LRESULT OnNotify(NMHDR* header);
    void OnContextMenu(HWND from, LPARAM position);
    void OnInitMenu(HMENU menu);
    void SaveWindowSettings();

    CKiv* m_kiv;
    HINSTANCE m_instance = nullptr;
    HWND m_hwnd = nullptr;
    HWND m_filter = nullptr;
    HWND m_filterLabel = nullptr;
    HWND m_hide = nullptr;
    HWND m_refresh = nullptr;
    HWND m_stop = nullptr;
    HWND m_runAs = nullptr;
    HWND m_progress = nullptr;
    HWND m_lastFocus = nullptr;
    HMENU m_menu = nullptr;
    HACCEL m_accelerators = nullptr;
    UniqueFont m_font;
    UINT m_dpi = 96;
    bool m_elevated = false;
    bool m_closeWhenCollected = false;
    Settings m_settings;

    StatusBar m_status;
    ItemListView m_list;
    // Declared after the list, so that a run still going is stopped and waited for
    // before anything it could reach goes.
    CollectionRunner m_runner;
    ItemActions m_actions;
};

}  // namespace kivgui
