// The window host run for real: kivgui.exe starts beside this program on a catalogue
// of the test's own, and is driven from here through window messages as a person or
// an accessibility tool would, across the process boundary.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>

#include "iteminfo/Md5.h"
#include "resource.h"
#include "platform/Handles.h"
#include "support/RegistryTestKit.h"
#include "support/RemoteWindow.h"
#include "support/TestSupport.h"

using kivtest::Ask;
using kivtest::RemoteBlock;
using kivtest::WaitUntil;

namespace {

const wchar_t kSettingsKey[] = L"Software\\kiv\\kivgui";
const wchar_t kNotepad[] = L"C:\\windows\\system32\\notepad.exe";
const wchar_t kRegedit[] = L"C:\\windows\\regedit.exe";

std::string Narrow(const std::wstring& text) {
    std::string bytes(text.size() * 3 + 1, '\0');
    int n =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
    return bytes;
}

void SetString(const std::wstring& key, const wchar_t* name, const std::wstring& data) {
    kiv::UniqueHKey k;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, k.Put()));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(k.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))));
}

std::wstring GetString(const std::wstring& key, const wchar_t* name) {
    wchar_t data[260] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return L"<none>";
    return data;
}

std::wstring WindowText(HWND window) {
    wchar_t text[520] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 520, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
    return text;
}

int ProcessesNamed(const wchar_t* name) {
    int count = 0;
    kiv::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
        if (_wcsicmp(entry.szExeFile, name) == 0) ++count;
    return count;
}

// The list view of the other program, read and changed by message.
class RemoteList {
public:
    explicit RemoteList(HWND list) : m_list(list) {}
    int Count() const { return static_cast<int>(Ask(m_list, LVM_GETITEMCOUNT, 0, 0)); }
    std::wstring Text(int index, int column) const {
        RemoteBlock block(m_list, sizeof(LVITEMW) + 520);
        LVITEMW request = {};
        request.iSubItem = column;
        request.pszText = reinterpret_cast<wchar_t*>(block.At(sizeof(LVITEMW)));
        request.cchTextMax = 260;
        if (!block.Write(&request, sizeof(request))) return L"?";
        Ask(m_list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(block.At(0)));
        return block.ReadText(sizeof(LVITEMW));
    }
    int Find(const std::wstring& title) const {
        for (int i = 0; i < Count(); ++i)
            if (Text(i, 0) == title) return i;
        return -1;
    }
    bool Checked(int index) const {
        return (Ask(m_list, LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_STATEIMAGEMASK) >> 12) == 2;
    }
    // As a click on the box does: the state image changes and the owner is told.
    void SetChecked(int index, bool checked) const {
        RemoteBlock block(m_list, sizeof(LVITEMW));
        LVITEMW request = {};
        request.stateMask = LVIS_STATEIMAGEMASK;
        request.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
        ASSERT_TRUE(block.Write(&request, sizeof(request)));
        Ask(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(block.At(0)));
    }
    void Select(int index) const {
        RemoteBlock block(m_list, sizeof(LVITEMW));
        LVITEMW request = {};
        request.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        request.state = LVIS_SELECTED | LVIS_FOCUSED;
        ASSERT_TRUE(block.Write(&request, sizeof(request)));
        Ask(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(block.At(0)));
    }
    HWND Handle() const { return m_list; }

private:
    HWND m_list;
};

// kivgui.exe beside this program; ended by force should a check fail on the way.
class GuiProcess {
public:
    GuiProcess() {
        std::wstring exe = kivtest::ProgramFolder() + L"kivgui.exe";
        std::wstring command = L"\"" + exe + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                           kivtest::ProgramFolder().c_str(), &startup, &info)) {
            m_process.Reset(info.hProcess);
            CloseHandle(info.hThread);
            m_id = info.dwProcessId;
        }
    }
    ~GuiProcess() {
        if (m_process && WaitForSingleObject(m_process.Get(), 0) != WAIT_OBJECT_0) {
            TerminateProcess(m_process.Get(), 1);
            WaitForSingleObject(m_process.Get(), 5000);
        }
    }
    GuiProcess(const GuiProcess&) = delete;
    GuiProcess& operator=(const GuiProcess&) = delete;

    HWND MainWindow() const {
        HWND found = nullptr;
        WaitUntil(
            [&] {
                for (HWND w = FindWindowExW(nullptr, nullptr, L"KivGuiMainWindow", nullptr); w && !found;
                     w = FindWindowExW(nullptr, w, L"KivGuiMainWindow", nullptr)) {
                    DWORD owner = 0;
                    GetWindowThreadProcessId(w, &owner);
                    // Shown only once every control is in place.
                    if (owner == m_id && IsWindowVisible(w)) found = w;
                }
                return found != nullptr;
            },
            30000);
        return found;
    }
    // The exit code, or STILL_ACTIVE when the program has not ended within the limit.
    DWORD WaitForExit(DWORD limitMs) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(m_process.Get(), limitMs) == WAIT_OBJECT_0) GetExitCodeProcess(m_process.Get(), &code);
        return code;
    }
    bool Started() const { return m_process.Valid(); }

private:
    kiv::UniqueHandle m_process;
    DWORD m_id = 0;
};

std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return L"<no clipboard>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

// A catalogue of one category that lists the test's key the given number of times.
void WriteCatalogue(const std::wstring& key, int copies) {
    std::string locations;
    for (int i = 0; i < copies; ++i)
        locations += "<loc><htype>0</htype><ltype>0</ltype><path>HKCU\\" + Narrow(key) + "</path></loc>";
    kivtest::WriteBesideProgram(L"kivdata.dat", "<kivdata><cat><name>GUI test entries</name><icon>0</icon><locs>" +
                                                    locations + "</locs></cat></kivdata>");
}

// The settings the window stores when it closes are the test's to remove.
class SettingsGuard {
public:
    SettingsGuard() { SHDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey); }
    ~SettingsGuard() {
        SHDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kiv");  // only when nothing else is kept there
    }
    SettingsGuard(const SettingsGuard&) = delete;
    SettingsGuard& operator=(const SettingsGuard&) = delete;
};

// When the runner asks for a picture of the window (it can reach the display, this
// program cannot), the window's place is handed over and the picture awaited.
void TakeScreenshot(HWND window) {
    wchar_t wanted[8] = {};
    if (GetEnvironmentVariableW(L"KIVGUI_SCREENSHOT", wanted, 8) == 0) return;
    RECT rect = {};
    GetWindowRect(window, &rect);
    // Without a window manager nobody draws the caption: the picture starts at the menu.
    POINT client = {0, 0};
    ClientToScreen(window, &client);
    rect.top = std::max<LONG>(rect.top, client.y - GetSystemMetrics(SM_CYMENU) - 1);
    std::wstring picture = kivtest::ProgramFolder() + L"kivgui-main-window.png";
    DeleteFileW(picture.c_str());
    kivtest::WriteBesideProgram(L"screenshot.request",
                                std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top) +
                                    "+" + std::to_string(rect.left) + "+" + std::to_string(rect.top) + "\n");
    EXPECT_TRUE(
        WaitUntil([&] { return PathFileExistsW((kivtest::ProgramFolder() + L"screenshot.done").c_str()); }, 30000));
    kivtest::DeleteBesideProgram(L"screenshot.done");
    EXPECT_TRUE(PathFileExistsW(picture.c_str())) << "no picture of the window was taken";
}

}  // namespace

TEST(KivGuiWindow, ListsTheEntriesActsOnCheckBoxesFiltersAndClosesCleanly) {
    kivtest::ScratchKey scratch(L"GuiWindow");
    const std::wstring run = scratch.Path();
    SetString(run, L"KivGuiTest Alpha", std::wstring(L"\"") + kNotepad + L"\" /background");
    SetString(run, L"KivGuiTest Beta", kRegedit);
    SetString(run, L"KivGuiTest Gamma", kNotepad);
    WriteCatalogue(run, 1);
    // The registry editor's file is whitelisted, the text editor's is not.
    kivtest::WriteBesideProgram(L"kivwl.dat", kivtest::Utf16Bytes(kiv::FileMd5(kRegedit) + L"|1\r\n", false));
    SettingsGuard settings;

    GuiProcess gui;
    ASSERT_TRUE(gui.Started());
    HWND main = gui.MainWindow();
    ASSERT_TRUE(main) << "no main window appeared";
    HWND status = FindWindowExW(main, nullptr, STATUSCLASSNAMEW, nullptr);
    HWND filter = FindWindowExW(main, nullptr, WC_EDITW, nullptr);
    HWND hide = FindWindowExW(main, nullptr, WC_BUTTONW, L"&Hide whitelisted");
    RemoteList list(FindWindowExW(main, nullptr, WC_LISTVIEWW, nullptr));
    ASSERT_TRUE(status && filter && hide && list.Handle());
    // Every control carries a name for accessibility tools.
    EXPECT_EQ(L"Startup entries", WindowText(list.Handle()));
    EXPECT_EQ(L"Collection progress", WindowText(FindWindowExW(main, nullptr, PROGRESS_CLASSW, nullptr)));
    ASSERT_TRUE(WaitUntil([&] { return WindowText(status).find(L"collected") != std::wstring::npos; }, 60000))
        << WindowText(status);
    EXPECT_EQ(L"3 item(s) collected.", WindowText(status));
    TakeScreenshot(main);

    // One row per entry with the facts of its file.
    ASSERT_EQ(3, list.Count());
    int alpha = list.Find(L"KivGuiTest Alpha"), beta = list.Find(L"KivGuiTest Beta");
    ASSERT_GE(alpha, 0);
    ASSERT_GE(beta, 0);
    EXPECT_EQ(L"enabled", list.Text(alpha, 1));
    EXPECT_EQ(L"HKCU\\" + run, list.Text(alpha, 2));
    EXPECT_EQ(0, _wcsicmp(kNotepad, list.Text(alpha, 3).c_str())) << list.Text(alpha, 3);
    EXPECT_EQ(kiv::FileMd5(kNotepad), list.Text(alpha, 6));
    EXPECT_EQ(L"no", list.Text(alpha, 7));
    EXPECT_EQ(L"yes", list.Text(beta, 7));
    EXPECT_TRUE(list.Checked(alpha));

    // Clearing a box disables the entry: the value moves into the marker subkey.
    list.SetChecked(alpha, false);
    EXPECT_TRUE(
        WaitUntil([&] { return GetString(run + L"\\_disabledByKiv", L"KivGuiTest Alpha") != L"<none>"; }, 10000));
    EXPECT_EQ(L"<none>", GetString(run, L"KivGuiTest Alpha"));
    EXPECT_TRUE(WaitUntil([&] { return list.Text(alpha, 1) == L"disabled"; }, 5000));
    EXPECT_EQ(L"Disabled \"KivGuiTest Alpha\".", WindowText(status));
    EXPECT_FALSE(list.Checked(alpha));
    // Checking it again enables it.
    list.SetChecked(alpha, true);
    EXPECT_TRUE(WaitUntil([&] { return GetString(run, L"KivGuiTest Alpha") != L"<none>"; }, 10000));
    EXPECT_TRUE(WaitUntil([&] { return list.Text(alpha, 1) == L"enabled"; }, 5000));

    // An entry that vanished behind the window's back cannot be disabled: the box
    // goes back and the status bar says why.
    int gamma = list.Find(L"KivGuiTest Gamma");
    ASSERT_GE(gamma, 0);
    {
        kiv::UniqueHKey key;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, run.c_str(), 0, KEY_SET_VALUE, key.Put()));
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(key.Get(), L"KivGuiTest Gamma"));
    }
    list.SetChecked(gamma, false);
    EXPECT_TRUE(
        WaitUntil([&] { return WindowText(status).rfind(L"Could not disable \"KivGuiTest Gamma\": ", 0) == 0; }, 10000))
        << WindowText(status);
    EXPECT_TRUE(list.Checked(gamma));
    EXPECT_EQ(L"enabled", list.Text(gamma, 1));

    // A place the user may only read: the box goes back with the system's reason.
    {
        kivtest::DeniedRight readOnly(run, L"D:P(A;;KRWD;;;WD)");
        list.SetChecked(beta, false);
        EXPECT_TRUE(WaitUntil(
            [&] { return WindowText(status).rfind(L"Could not disable \"KivGuiTest Beta\": Access", 0) == 0; }, 10000))
            << WindowText(status);
        EXPECT_TRUE(list.Checked(beta));
    }
    // Another entry of the same name where it would move: both stay, and the status
    // bar says what to do.
    kivtest::WriteRaw(HKEY_CURRENT_USER, run + L"\\_disabledByKiv", L"KivGuiTest Beta",
                      kivtest::TextValue(REG_SZ, kNotepad));
    list.SetChecked(beta, false);
    EXPECT_TRUE(WaitUntil(
        [&] {
            return WindowText(status) ==
                   L"Could not disable \"KivGuiTest Beta\": another entry of the same name is in "
                   L"the way (remove one of them first).";
        },
        10000))
        << WindowText(status);
    EXPECT_TRUE(list.Checked(beta));
    EXPECT_EQ(kRegedit, GetString(run, L"KivGuiTest Beta"));
    SHDeleteKeyW(HKEY_CURRENT_USER, (run + L"\\_disabledByKiv").c_str());

    // Properties show the file's facts in a dialog of their own; Copy path puts the path
    // on the clipboard.
    list.Select(alpha);
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDM_PROPERTIES, 0), 0);
    HWND dialog = nullptr;
    EXPECT_TRUE(WaitUntil(
        [&] { return (dialog = FindWindowW(L"#32770", L"Properties of KivGuiTest Alpha")) != nullptr; }, 10000));
    if (dialog) {
        std::wstring facts = WindowText(GetDlgItem(dialog, IDC_FACTS));
        EXPECT_NE(std::wstring::npos, facts.find(L"MD5: " + kiv::FileMd5(kNotepad) + L"\r\n")) << facts;
        EXPECT_NE(std::wstring::npos, facts.find(L"Location: HKCU\\" + run + L"\r\n")) << facts;
        EXPECT_NE(std::wstring::npos, facts.find(L"Modified: ")) << facts;
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 5000));
    }
    Ask(main, WM_COMMAND, MAKEWPARAM(IDM_COPYPATH, 0), 0);
    EXPECT_EQ(0, _wcsicmp(kNotepad, ClipboardText().c_str())) << ClipboardText();

    // Refresh (F5) collects again: the vanished entry is gone.
    Ask(main, WM_COMMAND, MAKEWPARAM(IDM_REFRESH, 0), 0);
    EXPECT_TRUE(WaitUntil([&] { return WindowText(status) == L"2 item(s) collected."; }, 60000)) << WindowText(status);
    EXPECT_EQ(2, list.Count());
    EXPECT_EQ(-1, list.Find(L"KivGuiTest Gamma"));

    // The filter looks in titles, paths and publishers, without regard to case.
    Ask(filter, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"BETA"));
    EXPECT_TRUE(WaitUntil([&] { return list.Count() == 1; }, 5000));
    EXPECT_EQ(L"KivGuiTest Beta", list.Text(0, 0));
    Ask(filter, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"notepad"));
    EXPECT_TRUE(WaitUntil([&] { return list.Count() == 1; }, 5000));
    EXPECT_EQ(L"KivGuiTest Alpha", list.Text(0, 0));
    Ask(filter, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    EXPECT_TRUE(WaitUntil([&] { return list.Count() == 2; }, 5000));

    // "Hide whitelisted" from the menu hides the registry editor's entry and ticks the box.
    Ask(main, WM_COMMAND, MAKEWPARAM(IDM_HIDEWHITELISTED, 0), 0);
    EXPECT_TRUE(WaitUntil([&] { return list.Count() == 1; }, 5000));
    EXPECT_EQ(-1, list.Find(L"KivGuiTest Beta"));
    EXPECT_EQ(BST_CHECKED, Ask(hide, BM_GETCHECK, 0, 0));

    // A column width chosen now is remembered when the window closes.
    Ask(list.Handle(), LVM_SETCOLUMNWIDTH, 0, 333);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, gui.WaitForExit(15000));
    EXPECT_EQ(0, ProcessesNamed(L"kivgui.exe"));
    std::wstring widths = GetString(kSettingsKey, L"ColumnWidths");
    EXPECT_EQ(0u, widths.rfind(L"333,", 0)) << widths;

    kivtest::DeleteBesideProgram(L"kivdata.dat");
    kivtest::DeleteBesideProgram(L"kivwl.dat");
}

TEST(KivGuiWindow, StopKeepsWhatWasFoundAndClosingDuringACollectionEndsCleanly) {
    kivtest::ScratchKey scratch(L"GuiWindowStop");
    // Each entry's file takes a while to digest, so a fast machine cannot finish
    // the whole run before the stop arrives.
    const std::wstring slowFile = kivtest::ProgramFolder() + L"kivgui_stop_slow.exe";
    kivtest::WriteFileBytes(slowFile, std::string(8u << 20, 'k'));
    for (const wchar_t* name : {L"KivGuiStop One", L"KivGuiStop Two", L"KivGuiStop Three"})
        SetString(scratch.Path(), name, slowFile.c_str());
    // Long enough a run that the stop always comes in the middle of it.
    const int copies = 400;
    WriteCatalogue(scratch.Path(), copies);
    kivtest::WriteBesideProgram(L"kivwl.dat", kivtest::Utf16Bytes(L"|0", false));
    SettingsGuard settings;

    GuiProcess gui;
    ASSERT_TRUE(gui.Started());
    HWND main = gui.MainWindow();
    ASSERT_TRUE(main);
    HWND status = FindWindowExW(main, nullptr, STATUSCLASSNAMEW, nullptr);
    RemoteList list(FindWindowExW(main, nullptr, WC_LISTVIEWW, nullptr));
    ASSERT_TRUE(WaitUntil([&] { return WindowText(status).rfind(L"Collecting...", 0) == 0; }, 30000))
        << WindowText(status);
    Ask(main, WM_COMMAND, MAKEWPARAM(IDM_STOP, 0), 0);
    ASSERT_TRUE(WaitUntil([&] { return WindowText(status).rfind(L"Stopped: ", 0) == 0; }, 60000)) << WindowText(status);
    // Whole locations only: each holds the three entries.
    int found = list.Count();
    EXPECT_EQ(L"Stopped: " + std::to_wstring(found) + L" item(s) collected.", WindowText(status));
    EXPECT_EQ(0, found % 3);
    EXPECT_LT(found, copies * 3);

    // A close asked for while collecting waits for the run to stop, then ends the program.
    Ask(main, WM_COMMAND, MAKEWPARAM(IDM_REFRESH, 0), 0);
    EXPECT_EQ(0, list.Count());
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, gui.WaitForExit(60000));
    EXPECT_EQ(0, ProcessesNamed(L"kivgui.exe"));
    kivtest::DeleteBesideProgram(L"kivdata.dat");
    kivtest::DeleteBesideProgram(L"kivwl.dat");
    DeleteFileW(slowFile.c_str());
}

TEST(KivGuiWindow, ShowsAnotherUsersEntryWithItsUserAndTellsOfAProfileNotRead) {
    kivtest::ScratchKey scratch(L"GuiWindowUsers");
    kivtest::ScratchFolder users(L"GuiWindowUsers");
    const std::wstring profiles = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
    const std::wstring other = L"S-1-5-21-7-7-7-2301", lost = L"S-1-5-21-7-7-7-2302";
    // The other user is not logged on: the module loads the hive file of its profile.
    std::string key;
    for (char c : Narrow(scratch.Path())) key += c == '\\' ? std::string("\\\\") : std::string(1, c);
    kivtest::WriteFileBytes(users.Path() + L"\\NTUSER.DAT",
                            "WINE REGISTRY Version 2\n\n#arch=win64\n\n[" + key +
                                "] 1700000000\n\"KivGuiTest Theirs\"=\"C:\\\\windows\\\\"
                                "regedit.exe\"\n");
    kivtest::WriteRaw(HKEY_LOCAL_MACHINE, profiles + other, L"ProfileImagePath",
                      kivtest::TextValue(REG_SZ, users.Path()));
    kivtest::WriteRaw(HKEY_LOCAL_MACHINE, profiles + lost, L"ProfileImagePath",
                      kivtest::TextValue(REG_SZ, users.Path() + L"\\lost"));
    WriteCatalogue(scratch.Path(), 1);
    kivtest::WriteBesideProgram(L"kivwl.dat", kivtest::Utf16Bytes(L"|0", false));
    SettingsGuard settings;
    {
        GuiProcess gui;
        ASSERT_TRUE(gui.Started());
        HWND main = gui.MainWindow();
        ASSERT_TRUE(main);
        HWND status = FindWindowExW(main, nullptr, STATUSCLASSNAMEW, nullptr);
        RemoteList list(FindWindowExW(main, nullptr, WC_LISTVIEWW, nullptr));
        ASSERT_TRUE(WaitUntil([&] { return WindowText(status).find(L"collected") != std::wstring::npos; }, 60000));
        EXPECT_EQ(0u, WindowText(status).rfind(
                          L"1 item(s) collected. Warning: the registry of " + lost + L" was not read: ", 0))
            << WindowText(status);
        const int row = list.Find(L"KivGuiTest Theirs");
        ASSERT_LE(0, row);
        EXPECT_EQ(L"HKU\\" + other + L"\\" + scratch.Path(), list.Text(row, 2));
        EXPECT_EQ(other, list.Text(row, 8));
        PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(0u, gui.WaitForExit(60000));
    }
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, (profiles + other).c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, (profiles + lost).c_str());
    kivtest::DeleteBesideProgram(L"kivdata.dat");
    kivtest::DeleteBesideProgram(L"kivwl.dat");
}
