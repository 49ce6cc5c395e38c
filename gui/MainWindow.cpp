#include "MainWindow.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <set>

#include "kiv.h"
#include "resource.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace kivgui {

const wchar_t kMainWindowClass[] = L"KivGuiMainWindow";

namespace {

const UINT kMsgCollected = WM_APP + 1;  // the worker's collection has returned
const UINT kMsgToggle = WM_APP + 2;     // wParam: row; lParam: nonzero to enable
const UINT_PTR kProgressTimer = 1;
const wchar_t kWindowTitle[] = L"kiv startup entries";

// The system's text for an error code, without its line break.
std::wstring SystemMessage(DWORD code) {
    if (code == ERROR_SUCCESS) return L"the system gave no reason.";
    wchar_t text[520] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             static_cast<DWORD>(sizeof(text) / sizeof(text[0])), nullptr);
    std::wstring message(text, n);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message.empty() ? L"error " + std::to_wstring(code) + L"." : message;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

bool IsElevated() {
    kiv::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    return GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
           elevation.TokenIsElevated != 0;
}

// The window's dots per inch; per-monitor where the system can tell.
UINT WindowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi) {
        UINT dpi = getDpi(hwnd);
        if (dpi) return dpi;
    }
    UniqueScreenDc screen(GetDC(nullptr));
    return screen ? static_cast<UINT>(GetDeviceCaps(screen.Get(), LOGPIXELSX)) : 96;
}

UINT SystemDpi() {
    UniqueScreenDc screen(GetDC(nullptr));
    return screen ? static_cast<UINT>(GetDeviceCaps(screen.Get(), LOGPIXELSY)) : 96;
}

// Everything known about an item, one fact per line, for the properties dialog.
std::wstring ItemFacts(CKiv* kiv, const GuiRow& row) {
    const ItemRow& item = row.item;
    unsigned id = item.id;
    std::wstring created = kiv->GetItemFileCreated(id);  // the two dates share one buffer
    std::wstring modified = kiv->GetItemFileModified(id);
    std::pair<const wchar_t*, std::wstring> facts[] = {
        {L"Title", item.title},
        {L"Category", item.category},
        {L"State", StateText(item)},
        {L"Location", kiv->GetItemLocationPath(id)},
        {L"Location value", kiv->GetItemLocationValue(id)},
        {L"32-bit registry view", kiv->GetItemWin32(id) ? L"yes" : L"no"},
        {L"File path", item.filePath},
        {L"File name", kiv->GetItemFileName(id)},
        {L"Extension", kiv->GetItemFileExtension(id)},
        {L"Shortcut target", kiv->GetItemFileShortcutTarget(id)},
        {L"Size", std::to_wstring(item.size) + L" bytes"},
        {L"Created", created},
        {L"Modified", modified},
        {L"MD5", item.md5},
        {L"Publisher", item.publisher},
        {L"Description", item.description},
        {L"Whitelisted", item.whitelisted ? L"yes" : L"no"},
    };
    std::wstring text;
    for (const auto& fact : facts) text += std::wstring(fact.first) + L": " + fact.second + L"\r\n";
    return text;
}

INT_PTR CALLBACK PropertiesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const auto* page = reinterpret_cast<const std::pair<std::wstring, std::wstring>*>(lParam);
        SetWindowTextW(dialog, (L"Properties of " + page->first).c_str());
        SetDlgItemTextW(dialog, IDC_FACTS, page->second.c_str());
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

int CALLBACK CompareListRows(LPARAM a, LPARAM b, LPARAM context) {
    auto* window = reinterpret_cast<std::pair<const std::vector<GuiRow>*, int>*>(context);
    const std::vector<GuiRow>& rows = *window->first;
    int column = window->second >= 0 ? window->second : -window->second - 1;
    int order = CompareRows(rows[static_cast<size_t>(a)].item, rows[static_cast<size_t>(b)].item, column);
    return window->second >= 0 ? order : -order;
}

}  // namespace

MainWindow::MainWindow(CKiv* kiv) : m_kiv(kiv), m_settings(LoadSettings()) {}

MainWindow::~MainWindow() {
    if (m_worker.joinable()) {
        m_kiv->StopCollect();
        m_worker.join();
    }
}

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
        SetStatus(L"No catalogue loaded: kivdata.dat beside kivgui.exe is missing or lists nothing.");
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
        window->SetStatus(L"Not enough memory to finish the last step.");
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
        if (wParam == kProgressTimer) OnProgressTimer();
        return 0;
    case kMsgCollected:
        OnCollected();
        return 0;
    case kMsgToggle:
        SetItemEnabled(wParam, lParam != 0);
        return 0;
    case WM_ACTIVATE:
        // Focus comes back to the control that had it when the window was left.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(m_hwnd, focus)) m_lastFocus = focus;
        }
        return 0;
    case WM_SETFOCUS:
        SetFocus(m_lastFocus && IsWindow(m_lastFocus) ? m_lastFocus : m_list);
        return 0;
    case WM_CLOSE:
        // The collection is asked to stop; the window goes once the worker is back.
        if (m_collecting) {
            m_closeWhenCollected = true;
            StopCollect();
            return 0;
        }
        DestroyWindow(m_hwnd);
        return 0;
    case WM_DESTROY:
        SaveWindowSettings();
        KillTimer(m_hwnd, kProgressTimer);
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
    m_list = child(WC_LISTVIEWW, L"Startup entries",
                   WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS, IDC_LIST,
                   WS_EX_CLIENTEDGE);
    m_status = child(STATUSCLASSNAMEW, L"", SBARS_SIZEGRIP, IDC_STATUS);
    SendMessageW(m_filter, EM_LIMITTEXT, 259, 0);  // the filter is read into 260 characters
    SendMessageW(m_filter, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"title, path or publisher"));
    if (m_elevated) ShowWindow(m_runAs, SW_HIDE);
    ShowWindow(m_progress, SW_HIDE);
    Button_SetCheck(m_hide, m_settings.hideWhitelisted ? BST_CHECKED : BST_UNCHECKED);
    ListView_SetExtendedListViewStyle(m_list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER |
                                                  LVS_EX_HEADERDRAGDROP | LVS_EX_LABELTIP);
    ListView_EnableGroupView(m_list, TRUE);
    CreateColumns();
}

void MainWindow::CreateColumns() {
    for (int column = 0; column < ColumnCount; ++column) {
        LVCOLUMNW lvc = {};
        lvc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        lvc.pszText = const_cast<wchar_t*>(ColumnTitle(column));
        lvc.cx = Scale(m_settings.columnWidths[static_cast<size_t>(column)]);  // stored at 96 dots per inch
        lvc.iSubItem = column;
        ListView_InsertColumn(m_list, column, &lvc);
    }
}

int MainWindow::Scale(int value) const { return MulDiv(value, static_cast<int>(m_dpi), 96); }

// Fonts, column widths and icon sizes follow the monitor the window is on.
void MainWindow::ApplyDpi(UINT dpi) {
    UINT oldDpi = m_dpi;
    m_dpi = dpi ? dpi : 96;
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    metrics.lfMessageFont.lfHeight =
        MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(m_dpi), static_cast<int>(SystemDpi()));
    UniqueFont font(CreateFontIndirectW(&metrics.lfMessageFont));
    for (HWND control : {m_refresh, m_stop, m_filterLabel, m_filter, m_hide, m_runAs, m_list, m_status})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    m_font = std::move(font);
    if (oldDpi != m_dpi)
        for (int column = 0; column < ColumnCount; ++column)
            ListView_SetColumnWidth(
                m_list, column,
                MulDiv(ListView_GetColumnWidth(m_list, column), static_cast<int>(m_dpi), static_cast<int>(oldDpi)));
    if (!m_collecting) BuildImages();
    Layout();
}

void MainWindow::Layout() {
    if (!m_hwnd || !m_list) return;
    RECT client;
    GetClientRect(m_hwnd, &client);
    SendMessageW(m_status, WM_SIZE, 0, 0);
    RECT statusRect;
    GetWindowRect(m_status, &statusRect);
    int statusHeight = statusRect.bottom - statusRect.top;
    int parts[2] = {std::max<int>(client.right - Scale(260), Scale(100)), -1};
    SendMessageW(m_status, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));

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
    MoveWindow(m_list, 0, top, client.right, std::max<int>(client.bottom - statusHeight - top, 0), TRUE);
}

// ---- Collection ----

void MainWindow::StartCollect() {
    if (m_collecting || m_kiv->GetCategoryCount() == 0) return;
    if (m_worker.joinable()) m_worker.join();
    // The items of the last run are destroyed by the new one: nothing may point at them.
    m_updatingList = true;
    ListView_DeleteAllItems(m_list);
    m_updatingList = false;
    m_rows.clear();
    m_seen = 0;
    m_stopRequested = false;
    m_collecting = true;
    ShowCollecting(true);
    SetStatus(L"Collecting...");
    HWND hwnd = m_hwnd;
    CKiv* kiv = m_kiv;
    m_worker = std::thread([hwnd, kiv] {
        // Handlers create COM objects (the Task Scheduler, shell links) on this thread.
        HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        kiv->Collect();
        if (SUCCEEDED(com)) CoUninitialize();
        PostMessageW(hwnd, kMsgCollected, 0, 0);
    });
}

void MainWindow::StopCollect() {
    if (!m_collecting) return;
    m_stopRequested = true;
    m_kiv->StopCollect();
    SetStatus(L"Stopping after the current location...");
}

// The item map is the one thing that may be read while a collection runs.
void MainWindow::OnProgressTimer() {
    // A collection begins by clearing the stop flag, so a stop asked for before the
    // worker reached it is asked again until the run ends.
    if (m_stopRequested) m_kiv->StopCollect();
    while (m_kiv->ItemMapGet(m_seen + 1)) ++m_seen;
    SendMessageW(m_status, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>((std::to_wstring(m_seen) + L" found").c_str()));
    if (!m_stopRequested) SetStatus(L"Collecting... " + std::to_wstring(m_seen) + L" item(s) found");
}

void MainWindow::OnCollected() {
    if (m_worker.joinable()) m_worker.join();
    m_collecting = false;
    ShowCollecting(false);
    if (m_closeWhenCollected) {
        DestroyWindow(m_hwnd);
        return;
    }
    LoadRows();
    BuildImages();
    Populate();
    std::wstring count = std::to_wstring(m_rows.size()) + L" item(s) collected";
    SetStatus(m_stopRequested ? L"Stopped: " + count + L"." : count + L".");
}

void MainWindow::ShowCollecting(bool collecting) {
    ShowWindow(m_progress, collecting ? SW_SHOW : SW_HIDE);
    SendMessageW(m_progress, PBM_SETMARQUEE, collecting, 50);
    EnableWindow(m_stop, collecting);
    EnableWindow(m_refresh, !collecting);
    if (collecting) SetTimer(m_hwnd, kProgressTimer, 100, nullptr);
    else KillTimer(m_hwnd, kProgressTimer);
}

void MainWindow::LoadRows() {
    m_rows.clear();
    for (unsigned c = 0; c < m_kiv->GetCategoryCount(); ++c) {
        for (unsigned l = 0; l < m_kiv->GetLocationCount(c); ++l) {
            for (unsigned i = 0; i < m_kiv->GetItemCount(c, l); ++i) {
                GuiRow row;
                ItemRow& item = row.item;
                item.id = m_kiv->GetItemGlobalID(c, l, i);
                item.category = m_kiv->GetCategoryName(c);
                item.location = m_kiv->GetLocationPath(c, l);
                item.title = m_kiv->GetItemTitle(item.id);
                item.enabled = m_kiv->GetItemEnabled(item.id) != 0;
                item.removed = m_kiv->IsRemoved(item.id) != 0;
                item.filePath = m_kiv->GetItemFilePath(item.id);
                item.publisher = m_kiv->GetItemFilePublisher(item.id);
                item.description = m_kiv->GetItemFileDescription(item.id);
                item.md5 = m_kiv->GetItemFileMd5(item.id);
                item.size = m_kiv->GetItemFileSize(item.id);
                item.whitelisted = m_kiv->IsWhiteListed(item.id);
                row.category = c;
                m_rows.push_back(row);
            }
        }
    }
}

// The image list holds copies of the items' icons at the window's current size;
// image 0 stands in for an item without an icon.
void MainWindow::BuildImages() {
    int size = Scale(16);
    UniqueImageList images(ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 16, 16));
    if (!images) return;
    ImageList_ReplaceIcon(images.Get(), -1, LoadIconW(nullptr, IDI_APPLICATION));
    for (GuiRow& row : m_rows) {
        HICON icon = m_kiv->GetItemIcon(row.item.id);
        int index = icon ? ImageList_ReplaceIcon(images.Get(), -1, icon) : -1;
        row.image = index >= 0 ? index : 0;
    }
    ListView_SetImageList(m_list, images.Get(), LVSIL_SMALL);
    m_images = std::move(images);
    if (ListView_GetItemCount(m_list) > 0) Populate();
}

// ---- The list ----

void MainWindow::Populate() {
    m_updatingList = true;
    SendMessageW(m_list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(m_list);
    ListView_RemoveAllGroups(m_list);
    std::set<unsigned> groups;
    bool hide = Button_GetCheck(m_hide) == BST_CHECKED;
    for (size_t r = 0; r < m_rows.size(); ++r) {
        GuiRow& row = m_rows[r];
        if (row.gone || !MatchesFilter(row.item, m_filterText, hide)) continue;
        if (groups.insert(row.category).second) {
            LVGROUP group = {};
            group.cbSize = sizeof(group);
            group.mask = LVGF_HEADER | LVGF_GROUPID;
            group.pszHeader = const_cast<wchar_t*>(row.item.category.c_str());
            group.iGroupId = static_cast<int>(row.category) + 1;
            ListView_InsertGroup(m_list, -1, &group);
        }
        LVITEMW lvi = {};
        lvi.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE | LVIF_GROUPID;
        lvi.iItem = ListView_GetItemCount(m_list);
        lvi.pszText = const_cast<wchar_t*>(row.item.title.c_str());
        lvi.iImage = row.image;
        lvi.lParam = static_cast<LPARAM>(r);
        lvi.iGroupId = static_cast<int>(row.category) + 1;
        int at = ListView_InsertItem(m_list, &lvi);
        if (at < 0) continue;
        for (int column = 1; column < ColumnCount; ++column) {
            std::wstring text = CellText(row.item, column);
            ListView_SetItemText(m_list, at, column, &text[0]);
        }
        ListView_SetCheckState(m_list, at, row.item.enabled);
    }
    if (m_sortColumn >= 0) Sort(m_sortColumn, false);
    SendMessageW(m_list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_list, nullptr, TRUE);
    m_updatingList = false;
    UpdateCountText();
}

void MainWindow::Sort(int column, bool toggle) {
    if (toggle) {
        m_sortAscending = column == m_sortColumn ? !m_sortAscending : true;
        m_sortColumn = column;
    }
    std::pair<const std::vector<GuiRow>*, int> context(&m_rows, m_sortAscending ? column : -column - 1);
    ListView_SortItems(m_list, CompareListRows, reinterpret_cast<LPARAM>(&context));
    HWND header = ListView_GetHeader(m_list);
    for (int i = 0; i < ColumnCount; ++i) {
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        Header_GetItem(header, i, &item);
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == column) item.fmt |= m_sortAscending ? HDF_SORTUP : HDF_SORTDOWN;
        Header_SetItem(header, i, &item);
    }
}

int MainWindow::ListIndexOfRow(size_t row) const {
    LVFINDINFOW find = {};
    find.flags = LVFI_PARAM;
    find.lParam = static_cast<LPARAM>(row);
    return ListView_FindItem(m_list, -1, &find);
}

GuiRow* MainWindow::SelectedRow(size_t* index) {
    int at = ListView_GetNextItem(m_list, -1, LVNI_SELECTED);
    if (at < 0) return nullptr;
    LVITEMW lvi = {};
    lvi.mask = LVIF_PARAM;
    lvi.iItem = at;
    if (!ListView_GetItem(m_list, &lvi) || static_cast<size_t>(lvi.lParam) >= m_rows.size()) return nullptr;
    if (index) *index = static_cast<size_t>(lvi.lParam);
    return &m_rows[static_cast<size_t>(lvi.lParam)];
}

// Shows the facade's view of the row again after an action, check box included.
void MainWindow::ShowRowState(size_t row) {
    ItemRow& item = m_rows[row].item;
    item.enabled = m_kiv->GetItemEnabled(item.id) != 0;
    item.removed = m_kiv->IsRemoved(item.id) != 0;
    int at = ListIndexOfRow(row);
    if (at < 0) return;
    m_updatingList = true;
    std::wstring state = StateText(item);
    ListView_SetItemText(m_list, at, ColState, &state[0]);
    ListView_SetCheckState(m_list, at, item.enabled);
    m_updatingList = false;
}

void MainWindow::UpdateCountText() {
    size_t total =
        static_cast<size_t>(std::count_if(m_rows.begin(), m_rows.end(), [](const GuiRow& r) { return !r.gone; }));
    std::wstring text = std::to_wstring(ListView_GetItemCount(m_list)) + L" of " + std::to_wstring(total) + L" shown";
    SendMessageW(m_status, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(text.c_str()));
}

// ---- Commands ----

void MainWindow::OnCommand(int id, int code, HWND from) {
    GuiRow* row = nullptr;
    size_t index = 0;
    switch (id) {
    case IDM_REFRESH:
        StartCollect();
        break;
    case IDM_STOP:
    case IDCANCEL:
        StopCollect();
        break;
    case IDM_RUNAS:
        RestartAsAdministrator();
        break;
    case IDM_EXIT:
        PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
        break;
    case IDM_DISABLE:
    case IDM_ENABLE:
        if ((row = SelectedRow(&index)) != nullptr) SetItemEnabled(index, id == IDM_ENABLE);
        break;
    case IDM_REMOVE:
        RemoveSelected();
        break;
    case IDM_RESTORE:
        RestoreSelected();
        break;
    case IDM_GOTO:
        GoToSelected();
        break;
    case IDM_COPYPATH:
        if ((row = SelectedRow()) != nullptr) CopyToClipboard(row->item.filePath);
        break;
    case IDM_COPYROW:
        if ((row = SelectedRow()) != nullptr) CopyToClipboard(RowText(row->item));
        break;
    case IDOK:
        if (GetFocus() == m_list) ShowProperties();
        break;
    case IDM_PROPERTIES:
        ShowProperties();
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
        Populate();
        break;
    case IDC_FILTER:
        if (code == EN_CHANGE) {
            wchar_t text[260] = {};
            GetWindowTextW(m_filter, text, 260);
            m_filterText = text;
            Populate();
        }
        break;
    default:
        break;
    }
}

LRESULT MainWindow::OnNotify(NMHDR* header) {
    if (header->hwndFrom != m_list) return 0;
    switch (header->code) {
    case LVN_ITEMCHANGED:
        OnItemChanged(reinterpret_cast<const NMLISTVIEW*>(header));
        break;
    case LVN_COLUMNCLICK:
        Sort(reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem, true);
        break;
    case NM_DBLCLK:
        ShowProperties();
        break;
    case LVN_KEYDOWN: {
        WORD key = reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey;
        bool control = GetKeyState(VK_CONTROL) < 0;
        if (key == VK_DELETE) RemoveSelected();
        else if (key == 'C' && control && GetKeyState(VK_SHIFT) >= 0) OnCommand(IDM_COPYROW, 0, nullptr);
        break;
    }
    default:
        break;
    }
    return 0;
}

// A check box changed by a person (by mouse, space bar or another program) asks
// for the matching action; the window's own changes are ignored.
void MainWindow::OnItemChanged(const NMLISTVIEW* change) {
    if (m_updatingList || !(change->uChanged & LVIF_STATE)) return;
    UINT before = (change->uOldState & LVIS_STATEIMAGEMASK) >> 12;
    UINT after = (change->uNewState & LVIS_STATEIMAGEMASK) >> 12;
    if (before == 0 || after == 0 || before == after) return;
    // Acting later keeps the list view out of its own notification.
    PostMessageW(m_hwnd, kMsgToggle, static_cast<WPARAM>(change->lParam), after == 2);
}

void MainWindow::OnContextMenu(HWND from, LPARAM position) {
    if (from != m_list) return;
    POINT at = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (position == -1) {
        // From the keyboard: beside the selected row, or the list's corner.
        RECT rect = {};
        int selected = ListView_GetNextItem(m_list, -1, LVNI_SELECTED);
        if (selected < 0 || !ListView_GetItemRect(m_list, selected, &rect, LVIR_LABEL)) GetClientRect(m_list, &rect);
        at = {rect.left, rect.bottom};
        ClientToScreen(m_list, &at);
    }
    TrackPopupMenu(GetSubMenu(m_menu, 1), TPM_RIGHTBUTTON, at.x, at.y, 0, m_hwnd, nullptr);
}

void MainWindow::OnInitMenu(HMENU menu) {
    GuiRow* row = m_collecting ? nullptr : SelectedRow();
    auto enable = [&](UINT id, bool on) { EnableMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED)); };
    enable(IDM_REFRESH, !m_collecting);
    enable(IDM_STOP, m_collecting);
    enable(IDM_RUNAS, !m_elevated);
    enable(IDM_DISABLE, row && row->item.enabled);
    enable(IDM_ENABLE, row && !row->item.enabled);
    enable(IDM_REMOVE, row != nullptr);
    enable(IDM_RESTORE, row && row->item.removed);
    for (UINT id : {IDM_GOTO, IDM_COPYPATH, IDM_COPYROW, IDM_PROPERTIES}) enable(id, row != nullptr);
    CheckMenuItem(menu, IDM_HIDEWHITELISTED,
                  MF_BYCOMMAND | (Button_GetCheck(m_hide) == BST_CHECKED ? MF_CHECKED : MF_UNCHECKED));
}

// The module's items must not be touched while a collection runs.
bool MainWindow::ActionsAllowed() {
    if (!m_collecting) return true;
    SetStatus(L"A collection is running: wait for it to end or stop it first.");
    return false;
}

void MainWindow::SetItemEnabled(size_t row, bool enable) {
    if (row >= m_rows.size()) return;
    if (!ActionsAllowed()) return;
    ItemRow& item = m_rows[row].item;
    if (item.enabled == enable) {
        ShowRowState(row);
        return;
    }
    SetLastError(ERROR_SUCCESS);
    int done = enable ? m_kiv->EnableItem(item.id) : m_kiv->DisableItem(item.id);
    DWORD error = GetLastError();
    ShowRowState(row);
    const wchar_t* verb = enable ? L"enable" : L"disable";
    if (done) SetStatus(std::wstring(enable ? L"Enabled " : L"Disabled ") + Quoted(item.title) + L".");
    else SetStatus(L"Could not " + std::wstring(verb) + L" " + Quoted(item.title) + L": " + SystemMessage(error));
}

void MainWindow::RemoveSelected() {
    size_t index = 0;
    GuiRow* row = SelectedRow(&index);
    if (!row || !ActionsAllowed()) return;
    std::wstring question = L"Remove " + Quoted(row->item.title) + L" from " + row->item.location +
                            L"?\n\nWindows will no longer start it, and the entry cannot be enabled again.";
    if (MessageBoxW(m_hwnd, question.c_str(), L"Remove entry", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return;
    SetLastError(ERROR_SUCCESS);
    int done = m_kiv->RemoveItem(row->item.id);
    DWORD error = GetLastError();
    if (!done) {
        SetStatus(L"Could not remove " + Quoted(row->item.title) + L": " + SystemMessage(error));
        return;
    }
    // The item stays in the module's results until the next collection; the list drops it now.
    row->gone = true;
    int at = ListIndexOfRow(index);
    if (at >= 0) ListView_DeleteItem(m_list, at);
    UpdateCountText();
    SetStatus(L"Removed " + Quoted(row->item.title) + L".");
}

void MainWindow::RestoreSelected() {
    size_t index = 0;
    GuiRow* row = SelectedRow(&index);
    if (!row || !ActionsAllowed()) return;
    if (!row->item.removed) {
        SetStatus(Quoted(row->item.title) + L" was not removed: there is nothing to restore.");
        return;
    }
    SetLastError(ERROR_SUCCESS);
    int done = m_kiv->RestoreItem(row->item.id);
    DWORD error = GetLastError();
    ShowRowState(index);
    SetStatus(done ? L"Restored " + Quoted(row->item.title) + L"."
                   : L"Could not restore " + Quoted(row->item.title) + L": " + SystemMessage(error));
}

void MainWindow::GoToSelected() {
    GuiRow* row = SelectedRow();
    if (!row || !ActionsAllowed()) return;
    m_kiv->GoTo(row->item.id);
    SetStatus(L"Showed " + Quoted(row->item.title) + L".");
}

void MainWindow::CopyToClipboard(const std::wstring& text) {
    size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    void* target = memory ? GlobalLock(memory.Get()) : nullptr;
    if (!target) {
        SetStatus(L"Could not copy: " + SystemMessage(GetLastError()));
        return;
    }
    memcpy(target, text.c_str(), bytes);
    GlobalUnlock(memory.Get());
    if (!OpenClipboard(m_hwnd)) {
        SetStatus(L"Could not copy: " + SystemMessage(GetLastError()));
        return;
    }
    EmptyClipboard();
    // The clipboard owns the memory once it has taken it.
    bool taken = SetClipboardData(CF_UNICODETEXT, memory.Get()) != nullptr;
    DWORD error = GetLastError();
    if (taken) memory.Release();
    CloseClipboard();
    SetStatus(taken ? L"Copied to the clipboard." : L"Could not copy: " + SystemMessage(error));
}

void MainWindow::ShowProperties() {
    GuiRow* row = SelectedRow();
    if (!row || !ActionsAllowed()) return;
    std::pair<std::wstring, std::wstring> page(row->item.title, ItemFacts(m_kiv, *row));
    DialogBoxParamW(m_instance, MAKEINTRESOURCEW(IDD_PROPERTIES), m_hwnd, PropertiesProc,
                    reinterpret_cast<LPARAM>(&page));
}

void MainWindow::RestartAsAdministrator() {
    if (m_elevated) return;
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        SetStatus(L"Could not find this program's own file.");
        return;
    }
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC;
    info.hwnd = m_hwnd;
    info.lpVerb = L"runas";
    info.lpFile = path;
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info)) {
        PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
        return;
    }
    DWORD error = GetLastError();
    SetStatus(error == ERROR_CANCELLED ? L"Restart as administrator was cancelled."
                                       : L"Could not restart as administrator: " + SystemMessage(error));
}

void MainWindow::SetStatus(const std::wstring& text) {
    if (m_status) SendMessageW(m_status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// Widths are kept at 96 dots per inch so that they suit any monitor.
void MainWindow::SaveWindowSettings() {
    for (int column = 0; column < ColumnCount; ++column)
        m_settings.columnWidths[static_cast<size_t>(column)] =
            MulDiv(ListView_GetColumnWidth(m_list, column), 96, static_cast<int>(m_dpi));
    m_settings.hideWhitelisted = Button_GetCheck(m_hide) == BST_CHECKED;
    SaveSettings(m_settings);
}

}  // namespace kivgui
