#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "platform/Handles.h"
#include "platform/Navigation.h"
#include "support/RemoteWindow.h"
#include "support/TestSupport.h"

using kiv::NavigateRegEdit;
using kivtest::Ask;
using kivtest::RemoteBlock;
using kivtest::WaitUntil;

namespace {

const wchar_t kEditorSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit";

std::vector<HWND> TopWindowsOfClass(const wchar_t* className) {
    std::vector<HWND> found;
    for (HWND w = FindWindowExW(nullptr, nullptr, className, nullptr); w;
         w = FindWindowExW(nullptr, w, className, nullptr))
        found.push_back(w);
    return found;
}

std::vector<HWND> Editors() { return TopWindowsOfClass(L"RegEdit_RegEdit"); }

std::vector<DWORD> EditorProcesses() {
    std::vector<DWORD> ids;
    kiv::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
        if (_wcsicmp(entry.szExeFile, L"regedit.exe") == 0) ids.push_back(entry.th32ProcessID);
    return ids;
}

void EndProcess(DWORD id, HWND window) {
    kiv::UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id));
    if (window) PostMessageW(window, WM_CLOSE, 0, 0);
    if (process && WaitForSingleObject(process.Get(), window ? 5000 : 0) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        WaitForSingleObject(process.Get(), 5000);
    }
}

// Closes every editor window, then ends any editor process still there.
void CloseEditors() {
    for (HWND editor : Editors()) {
        DWORD id = 0;
        GetWindowThreadProcessId(editor, &id);
        EndProcess(id, editor);
    }
    for (DWORD id : EditorProcesses()) EndProcess(id, nullptr);
}

std::wstring TreeItemText(HWND tree, HTREEITEM item) {
    RemoteBlock block(tree, sizeof(TVITEMW) + 520);
    TVITEMW request = {};
    request.mask = TVIF_TEXT | TVIF_HANDLE;
    request.hItem = item;
    request.pszText = reinterpret_cast<wchar_t*>(block.At(sizeof(TVITEMW)));
    request.cchTextMax = 260;
    if (!block.Write(&request, sizeof(request))) return L"?";
    Ask(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(block.At(0)));
    return block.ReadText(sizeof(TVITEMW));
}

HWND EditorPart(const wchar_t* className) {
    std::vector<HWND> editors = Editors();
    if (editors.size() != 1) return nullptr;
    HWND frame = FindWindowExW(editors[0], nullptr, L"REGEDIT", nullptr);
    HWND part = FindWindowExW(editors[0], nullptr, className, nullptr);
    return part ? part : FindWindowExW(frame, nullptr, className, nullptr);
}

// The path of the key selected in the editor's tree, below its top (computer) node.
std::wstring SelectedKey() {
    HWND tree = EditorPart(L"SysTreeView32");
    if (!tree) return L"<no single editor>";
    std::wstring path;
    auto item = reinterpret_cast<HTREEITEM>(Ask(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    while (item) {
        auto parent =
            reinterpret_cast<HTREEITEM>(Ask(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
        if (!parent) break;
        path = path.empty() ? TreeItemText(tree, item) : TreeItemText(tree, item) + L"\\" + path;
        item = parent;
    }
    return path;
}

// The name of the value selected in the editor's value list ("" with none).
std::wstring SelectedValue() {
    HWND list = EditorPart(L"SysListView32");
    if (!list) return L"<no single editor>";
    int index = static_cast<int>(Ask(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (index < 0) return L"";
    RemoteBlock block(list, sizeof(LVITEMW) + 520);
    LVITEMW request = {};
    request.pszText = reinterpret_cast<wchar_t*>(block.At(sizeof(LVITEMW)));
    request.cchTextMax = 260;
    if (!block.Write(&request, sizeof(request))) return L"?";
    Ask(list, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(block.At(0)));
    return block.ReadText(sizeof(LVITEMW));
}

void MakeKey(const std::wstring& path, std::initializer_list<const wchar_t*> values) {
    kiv::UniqueHKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             key.Put(), nullptr));
    for (const wchar_t* name : values)
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4));
}

bool KeyExists(HKEY root, const wchar_t* path) {
    kiv::UniqueHKey key;
    return RegOpenKeyExW(root, path, 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

// Each test starts without an editor and leaves none behind, nor the settings
// the editor writes when it closes.
class RegEditNavigation : public ::testing::Test {
protected:
    void SetUp() override {
        CloseEditors();
        m_hadSettings = KeyExists(HKEY_CURRENT_USER, kEditorSettings);
    }
    void TearDown() override {
        CloseEditors();
        if (!m_hadSettings) SHDeleteKeyW(HKEY_CURRENT_USER, kEditorSettings);
    }

private:
    bool m_hadSettings = false;
};

TEST_F(RegEditNavigation, StartsOneEditorAndSelectsTheKeyAndTheValue) {
    kivtest::ScratchKey scratch(L"NavStart");
    const std::wstring key = scratch.Path() + L"\\Inner";
    MakeKey(key, {L"Alpha", L"Beta", L"Gamma"});
    ASSERT_TRUE(EditorProcesses().empty());
    EXPECT_EQ(1, NavigateRegEdit(HKEY_CURRENT_USER, key.c_str(), L"Beta"));
    EXPECT_EQ(1u, EditorProcesses().size());
    EXPECT_EQ(1u, Editors().size());
    EXPECT_EQ(L"HKEY_CURRENT_USER\\" + key, SelectedKey());
    EXPECT_EQ(L"Beta", SelectedValue());
}

TEST_F(RegEditNavigation, ReusesTheRunningEditorAndTellsApartKeysWithACommonStart) {
    kivtest::ScratchKey scratch(L"NavReuse");
    const std::wstring first = scratch.Path() + L"\\Sub";
    const std::wstring second = scratch.Path() + L"\\Sub, Two";
    MakeKey(first, {L"Val"});
    MakeKey(second, {L"Alpha", L"Beta"});
    ASSERT_EQ(1, NavigateRegEdit(HKEY_CURRENT_USER, first.c_str(), nullptr));
    ASSERT_EQ(1u, Editors().size());
    HWND editor = Editors()[0];
    EXPECT_EQ(L"HKEY_CURRENT_USER\\" + first, SelectedKey());
    EXPECT_EQ(L"", SelectedValue());

    EXPECT_EQ(1, NavigateRegEdit(HKEY_CURRENT_USER, second.c_str(), L"beta"));
    EXPECT_EQ(std::vector<HWND>{editor}, Editors());
    EXPECT_EQ(1u, EditorProcesses().size());
    EXPECT_EQ(L"HKEY_CURRENT_USER\\" + second, SelectedKey());
    EXPECT_EQ(L"Beta", SelectedValue());
}

TEST_F(RegEditNavigation, ARootWithoutLongNameIsLoggedAndTypesOnlyTheKeyPath) {
    kivtest::ScratchKey scratch(L"NavNoRoot");
    const std::wstring full = L"HKEY_CURRENT_USER\\" + scratch.Path();
    LogCapture log;
    EXPECT_EQ(1, NavigateRegEdit(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234)), full.c_str(), nullptr));
    EXPECT_EQ(std::vector<std::string>{"GetFullHKEY: The Others {RC}\n"}, log.Messages());
    EXPECT_EQ(full, SelectedKey());
}

TEST_F(RegEditNavigation, RefusesAMissingRootOrKeyPathWithoutStartingTheEditor) {
    EXPECT_EQ(0, NavigateRegEdit(nullptr, L"Software", nullptr));
    EXPECT_EQ(0, NavigateRegEdit(HKEY_CURRENT_USER, nullptr, L"Value"));
    EXPECT_TRUE(EditorProcesses().empty());
}

TEST_F(RegEditNavigation, AnEditorThatDoesNotAnswerCannotHoldTheCaller) {
    kivtest::ScratchKey scratch(L"NavHung");
    ASSERT_EQ(1, NavigateRegEdit(HKEY_CURRENT_USER, scratch.Path().c_str(), nullptr));
    HWND tree = EditorPart(L"SysTreeView32");
    ASSERT_NE(nullptr, tree);
    kiv::UniqueHandle thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(tree, nullptr)));
    ASSERT_TRUE(thread);
    ASSERT_NE(static_cast<DWORD>(-1), SuspendThread(thread.Get()));

    auto navigation = std::async(std::launch::async,
                                 [&] { return NavigateRegEdit(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Value"); });
    // A generous ceiling only keeps this test from hanging; the editor stays
    // frozen until the navigation has given up or the ceiling has passed.
    const bool returned = navigation.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    ResumeThread(thread.Get());
    ASSERT_TRUE(returned) << "the navigation waited for the frozen editor";
    EXPECT_EQ(0, navigation.get());
}

// The shell of the test system clears the error code when a start succeeds, so a
// success that leaves one behind (as the shell often does elsewhere) is stood in
// for by the start given here.
int StartsMade(BOOL result, DWORD error) {
    int calls = 0;
    kiv::StartWithOneRetry([&] {
        ++calls;
        SetLastError(error);
        return result;
    });
    return calls;
}

TEST(StartWithOneRetry, RepeatsOnlyAStartThatFailedWithAnError) {
    EXPECT_EQ(1, StartsMade(TRUE, ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(2, StartsMade(FALSE, ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(1, StartsMade(FALSE, ERROR_SUCCESS));
    int calls = 0;
    EXPECT_TRUE(kiv::StartWithOneRetry([&] {
        SetLastError(ERROR_ACCESS_DENIED);
        return ++calls == 2 ? TRUE : FALSE;
    }));
}

// Explorer cannot be checked for the file it selects: the Explorer of the test
// system reads "/n," as a folder to open and selects nothing. What is checked is
// the command built and that Explorer is started with it.
TEST(ExplorerSelection, QuotesThePathAndLeavesOutTheDevicePrefix) {
    wchar_t windows[MAX_PATH] = {};
    ASSERT_NE(0u, GetWindowsDirectoryW(windows, MAX_PATH));
    kiv::ExplorerCommand command = kiv::ExplorerSelectCommand(L"C:\\Apps\\a, b.exe");
    EXPECT_EQ(0, _wcsicmp((std::wstring(windows) + L"\\explorer.exe").c_str(), command.program.c_str()))
        << command.program;
    EXPECT_EQ(L"/n, /select, \"C:\\Apps\\a, b.exe\"", command.parameters);

    EXPECT_EQ(L"/n, /select, \"C:\\Windows\\x.sys\"",
              kiv::ExplorerSelectCommand(L"\\??\\C:\\Windows\\x.sys").parameters);
    EXPECT_EQ(L"/n, /select, \"C:\\a\\??\\b\"", kiv::ExplorerSelectCommand(L"C:\\a\\??\\b").parameters);
    EXPECT_EQ(L"/n, /select, \"\\??\"", kiv::ExplorerSelectCommand(L"\\??").parameters);
}

TEST(ExplorerSelection, StartsExplorer) {
    EXPECT_EQ(0, kiv::SelectInExplorer(nullptr));
    const std::vector<HWND> before = TopWindowsOfClass(L"ExplorerWClass");
    HWND opened = nullptr;
    EXPECT_NE(0, kiv::SelectInExplorer(L"C:\\windows\\notepad.exe"));
    EXPECT_TRUE(WaitUntil(
        [&] {
            for (HWND w : TopWindowsOfClass(L"ExplorerWClass"))
                if (std::find(before.begin(), before.end(), w) == before.end()) opened = w;
            return opened != nullptr;
        },
        20000));
    if (opened) {
        DWORD id = 0;
        GetWindowThreadProcessId(opened, &id);
        EndProcess(id, opened);
    }
}

}  // namespace
