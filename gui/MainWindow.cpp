#include "MainWindow.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "Dpi.h"
#include "Elevation.h"
#include "ItemReader.h"
#include "kiv.h"
#include "resource.h"

namespace kivgui {

const wchar_t kMainWindowClass[] = L"KivGuiMainWindow";

namespace {
const wchar_t kWindowTitle[] = L"kiv startup entries";
}  // namespace

MainWindow::MainWindow(CKiv* kiv)
    : m_kiv(kiv), m_settings(LoadSettings()), m_list(kiv, m_status), m_runner(kiv),
      m_actions(kiv, m_list, m_runner, m_status) {}

bool MainWindow::Create(HINSTANCE instance, int show) {
    m_instance = instance;
    m_elevated = IsElevated();
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainWindowClass;
    if (!RegisterClassExW(&wc)) return false;
    m_menu = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_MAINMENU));
    m_accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    std::wstring title = std::wstring(kWindowTitle) + (m_elevated ? L" (Administrator)" : L"");
    // The menu belongs to the window from here on and goes with it.
    HWND hwnd =
        CreateWindowExW(WS_EX_CONTROLPARENT, kMainWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                        CW_USEDEFAULT, CW_USEDEFAULT, 1000, 640, nullptr, m_menu, instance, this);
    if (!hwnd) return false;
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);
    if (m_kiv->GetCategoryCount() == 0)
        m_status.Say(L"No catalogue loaded: kivdata.dat beside kivgui.exe is missing or lists nothing.");
    else StartCollect();
    return true;
}

int MainWindow::Run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (m_hwnd && TranslateAcceleratorW(m_hwnd, m_accelerators, &msg)) continue;
        if (m_hwnd && IsDialogMessageW(m_hwnd, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

LRESULT CALLBACK MainWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* window = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        window->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
    // Nothing thrown may unwind through the system's frames.
    try {
        return window->Handle(message, wParam, lParam);
    } catch (...) {
        window->m_status.Say(L"Not enough memory to finish the last step.");
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        m_dpi = WindowDpi(m_hwnd);
        CreateControls();
        ApplyDpi(m_dpi);
        return 0;
    case WM_SIZE:
        Layout();
        return 0;
    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ApplyDpi(LOWORD(wParam));
        SetWindowPos(m_hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<NMHDR*>(lParam));
    case WM_CONTEXTMENU:
        OnContextMenu(reinterpret_cast<HWND>(wParam), lParam);
        return 0;
    case WM_INITMENUPOPUP:
        OnInitMenu(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == CollectionRunner::kProgressTimer) {
            m_runner.OnTimer();
            // Each location's rows show as soon as it has been read.
            if (m_runner.Running()) m_list.LoadNew();
        }
        return 0;
    case CollectionRunner::kMsgCollected:
        OnCollected();
        return 0;
    case ItemListView::kMsgToggle:
        m_actions.SetEnabled(wParam, lParam != 0);
        return 0;
    case WM_ACTIVATE:
        // Focus comes back to the control that had it when the window was left.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(m_hwnd, focus)) m_lastFocus = focus;
        }
        return 0;
    case WM_SETFOCUS:
        SetFocus(m_lastFocus && IsWindow(m_lastFocus) ? m_lastFocus : m_list.Handle());
        return 0;
    case WM_CLOSE:
        // The collection is asked to stop; the window goes once the worker is back.
        if (m_runner.Running()) {
            m_closeWhenCollected = true;
            m_runner.Stop();
            return 0;
        }
        DestroyWindow(m_hwnd);
        return 0;
    case WM_DESTROY:
        SaveWindowSettings();
        m_runner.StopTimer();
        m_hwnd = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(m_hwnd, message, wParam, lParam);
    }
}

// ---- Window and layout ----

void MainWindow::CreateControls() {
    auto child = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int id, DWORD exStyle = 0) {
        return CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, m_hwnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), m_instance, nullptr);
    };
    // Creation order is the tab order; each label stands directly before the control
    // it names, which is where accessibility tools look for the control's name.
    m_refresh = child(WC_BUTTONW, L"&Refresh", WS_TABSTOP | BS_PUSHBUTTON, IDM_REFRESH);
    m_stop = child(WC_BUTTONW, L"S&top", WS_TABSTOP | BS_PUSHBUTTON, IDM_STOP);
    m_filterLabel = child(WC_STATICW, L"&Filter:", SS_RIGHT | SS_CENTERIMAGE, IDC_FILTERLABEL);
    m_filter = child(WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL, IDC_FILTER, WS_EX_CLIENTEDGE);
    m_hide = child(WC_BUTTONW, L"&Hide whitelisted", WS_TABSTOP | BS_AUTOCHECKBOX, IDM_HIDEWHITELISTED);
    m_runAs = child(WC_BUTTONW, L"Restart as &administrator", WS_TABSTOP | BS_PUSHBUTTON, IDM_RUNAS);
    m_progress = child(PROGRESS_CLASSW, L"Collection progress", PBS_MARQUEE, IDC_PROGRESS);
    m_list.Create(m_hwnd, m_instance, IDC_LIST, m_settings, m_dpi);
    m_status.Attach(child(STATUSCLASSNAMEW, L"", SBARS_SIZEGRIP, IDC_STATUS));
    m_runner.Attach(m_hwnd, m_progress, m_refresh, m_stop, &m_status);
    m_actions.Attach(m_hwnd, m_instance);
    SendMessageW(m_filter, EM_LIMITTEXT, 259, 0);  // the filter is read into 260 characters
    SendMessageW(m_filter, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"title, path or publisher"));
    if (m_elevated) ShowWindow(m_runAs, SW_HIDE);
    ShowWindow(m_progress, SW_HIDE);
    Button_SetCheck(m_hide, m_settings.hideWhitelisted ? BST_CHECKED : BST_UNCHECKED);
}

int MainWindow::Scale(int value) const { return kivgui::Scale(value, m_dpi); }

// Fonts, column widths and icon sizes follow the monitor the window is on.
void MainWindow::ApplyDpi(UINT dpi) {
    UINT oldDpi = m_dpi;
    m_dpi = dpi ? dpi : 96;
    UniqueFont font = MessageFont(m_dpi);
    for (HWND control :
         {m_refresh, m_stop, m_filterLabel, m_filter, m_hide, m_runAs, m_list.Handle(), m_status.Handle()})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    m_font = std::move(font);
    if (oldDpi != m_dpi) m_list.ScaleColumns(oldDpi, m_dpi);
    if (!m_runner.Running()) m_list.BuildImages(m_dpi);
    Layout();
}

void MainWindow::Layout() {
    HWND list = m_list.Handle();
    HWND status = m_status.Handle();
    if (!m_hwnd || !list) return;
    RECT client;
    GetClientRect(m_hwnd, &client);
    SendMessageW(status, WM_SIZE, 0, 0);
    RECT statusRect;
    GetWindowRect(status, &statusRect);
    int statusHeight = statusRect.bottom - statusRect.top;
    int parts[2] = {std::max<int>(client.right - Scale(260), Scale(100)), -1};
    SendMessageW(status, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));

    const int margin = Scale(6), height = Scale(24), gap = Scale(6);
    int x = margin;
    auto place = [&](HWND control, int width) {
        MoveWindow(control, x, margin, width, height, TRUE);
        x += width + gap;
    };
    place(m_refresh, Scale(84));
    place(m_stop, Scale(72));
    place(m_filterLabel, Scale(42));
    place(m_filter, Scale(240));
    place(m_hide, Scale(140));
    if (!m_elevated) place(m_runAs, Scale(190));
    MoveWindow(m_progress, x, margin + Scale(4), std::max<int>(client.right - x - margin, Scale(60)), height - Scale(8),
               TRUE);
    int top = margin + height + margin;
    MoveWindow(list, 0, top, client.right, std::max<int>(client.bottom - statusHeight - top, 0), TRUE);
}

// ---- Collection ----

void MainWindow::StartCollect() {
    if (m_runner.Running() || m_kiv->GetCategoryCount() == 0) return;
    // The items of the last run are destroyed by the new one: nothing may point at them.
    m_list.Clear();
    m_runner.Start();
}

void MainWindow::OnCollected() {
    m_runner.Finish();
    if (m_closeWhenCollected) {
        DestroyWindow(m_hwnd);
        return;
    }
    m_list.Load();
    m_list.BuildImages(m_dpi);
    m_list.Populate();
    std::wstring count = std::to_wstring(m_list.RowCount()) + L" item(s) collected";
    std::wstring said = m_runner.StopRequested() ? L"Stopped: " + count + L"." : count + L".";
    // A user whose entries could not be read is told, never silently left out.
    for (const UnreadUser& unread : UnreadUsers(m_kiv)) said += L" Warning: " + UnreadUserText(unread);
    m_status.Say(said);
}

// ---- Commands ----

void MainWindow::OnCommand(int id, int code, HWND from) {
    switch (id) {
    case IDM_REFRESH:
        StartCollect();
        break;
    case IDM_STOP:
    case IDCANCEL:
        m_runner.Stop();
        break;
    case IDM_RUNAS:
        if (!m_elevated && RestartAsAdministrator(m_hwnd, m_status)) PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
        break;
    case IDM_EXIT:
        PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
        break;
    case IDM_DISABLE:
    case IDM_ENABLE:
        m_actions.SetSelectedEnabled(id == IDM_ENABLE);
        break;
    case IDM_REMOVE:
        m_actions.RemoveSelected();
        break;
    case IDM_RESTORE:
        m_actions.RestoreSelected();
        break;
    case IDM_GOTO:
        m_actions.GoToSelected();
        break;
    case IDM_COPYPATH:
        m_actions.CopySelectedPath();
        break;
    case IDM_COPYROW:
        m_actions.CopySelectedRow();
        break;
    case IDOK:
        if (GetFocus() == m_list.Handle()) m_actions.ShowSelectedProperties();
        break;
    case IDM_PROPERTIES:
        m_actions.ShowSelectedProperties();
        break;
    case IDM_FINDFILTER:
        SetFocus(m_filter);
        Edit_SetSel(m_filter, 0, -1);
        break;
    case IDM_HIDEWHITELISTED:
        // The menu item flips the check box; the check box flips itself.
        if (from != m_hide)
            Button_SetCheck(m_hide, Button_GetCheck(m_hide) == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
        m_settings.hideWhitelisted = Button_GetCheck(m_hide) == BST_CHECKED;
        m_list.SetHideWhitelisted(m_settings.hideWhitelisted);
        break;
    case IDC_FILTER:
        if (code == EN_CHANGE) {
            wchar_t text[260] = {};
            GetWindowTextW(m_filter, text, 260);
            m_list.SetFilter(text);
        }
        break;
    default:
        break;
    }
}

LRESULT MainWindow::OnNotify(NMHDR* header) {
    if (header->hwndFrom != m_list.Handle() || m_list.OnNotify(header)) return 0;
    if (header->code == NM_DBLCLK) {
        m_actions.ShowSelectedProperties();
    } else if (header->code == LVN_KEYDOWN) {
        WORD key = reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey;
        bool control = GetKeyState(VK_CONTROL) < 0;
        if (key == VK_DELETE) m_actions.RemoveSelected();
        else if (key == 'C' && control && GetKeyState(VK_SHIFT) >= 0) m_actions.CopySelectedRow();
    }
    return 0;
}

void MainWindow::OnContextMenu(HWND from, LPARAM position) {
    HWND list = m_list.Handle();
    if (from != list) return;
    POINT at = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (position == -1) {
        // From the keyboard: beside the selected row, or the list's corner.
        RECT rect = {};
        int selected = ListView_GetNextItem(list, -1, LVNI_SELECTED);
        if (selected < 0 || !ListView_GetItemRect(list, selected, &rect, LVIR_LABEL)) GetClientRect(list, &rect);
        at = {rect.left, rect.bottom};
        ClientToScreen(list, &at);
    }
    TrackPopupMenu(GetSubMenu(m_menu, 1), TPM_RIGHTBUTTON, at.x, at.y, 0, m_hwnd, nullptr);
}

void MainWindow::OnInitMenu(HMENU menu) {
    bool collecting = m_runner.Running();
    GuiRow* row = collecting ? nullptr : m_list.Selected();
    auto enable = [&](UINT id, bool on) { EnableMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED)); };
    enable(IDM_REFRESH, !collecting);
    enable(IDM_STOP, collecting);
    enable(IDM_RUNAS, !m_elevated);
    enable(IDM_DISABLE, row && row->item.enabled);
    enable(IDM_ENABLE, row && !row->item.enabled);
    enable(IDM_REMOVE, row != nullptr);
    enable(IDM_RESTORE, row && row->item.removed);
    for (UINT id : {IDM_GOTO, IDM_COPYPATH, IDM_COPYROW, IDM_PROPERTIES}) enable(id, row != nullptr);
    CheckMenuItem(menu, IDM_HIDEWHITELISTED,
                  MF_BYCOMMAND | (Button_GetCheck(m_hide) == BST_CHECKED ? MF_CHECKED : MF_UNCHECKED));
}

void MainWindow::SaveWindowSettings() {
    m_settings.columnWidths = m_list.StoredWidths(m_dpi);
    m_settings.hideWhitelisted = Button_GetCheck(m_hide) == BST_CHECKED;
    SaveSettings(m_settings);
}

}  // namespace kivgui
