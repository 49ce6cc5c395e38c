#include "platform/Navigation.h"

#include <shellapi.h>

#include <cwchar>

#include "platform/Environment.h"
#include "platform/Handles.h"
#include "platform/RegPath.h"
#include "platform/Text.h"

namespace kiv {
namespace {

const wchar_t kEditorClass[] = L"RegEdit_RegEdit";

// Pause before a start is tried a second time.
constexpr DWORD kRetryPauseMs = 200;
// Pause that lets the editor settle before the typing starts and before the value
// name is typed.
constexpr DWORD kSettlePauseMs = 100;
// The tree and the list read characters that follow each other closely as one
// name being typed (type-ahead, about half a second). After each expansion the
// pause must outlast that, or the next key name would be read as a continuation
// of the previous one and select nothing.
constexpr DWORD kTypeAheadGapMs = 600;
// A freshly started editor gets this long to become ready for input.
constexpr DWORD kStartIdleWaitMs = 5000;
// A keystroke the editor has not taken within this time counts as lost: a hung
// or busy editor must not hold the host's thread.
constexpr UINT kAnswerTimeoutMs = 2000;
// Enough steps to collapse and leave any key the selection may stand on.
constexpr int kCollapseSteps = 30;
// Keystrokes carry a repeat count of one, as a real key press does: the tree and
// list controls ignore a character whose key data is zero.
constexpr LPARAM kKeyStroke = 1;

bool ShellExecuteWithRetry(SHELLEXECUTEINFOW& info) {
    return StartWithOneRetry([&info] { return ShellExecuteExW(&info); });
}

// Explorer is started from the Windows folder by full path, so that no program of
// the same name elsewhere on the search path is started instead.
std::wstring ExplorerProgram() {
    std::wstring program = ExpandPlain(L"%windir%\\explorer.exe");
    return program.empty() ? std::wstring(L"explorer.exe") : program;
}

// The editor keeps its tree and list either directly in its main window or in a
// frame window inside it; the first match in window order is taken.
HWND FindDescendant(HWND parent, const wchar_t* className) {
    if (HWND direct = FindWindowExW(parent, nullptr, className, nullptr)) return direct;
    for (HWND child = FindWindowExW(parent, nullptr, nullptr, nullptr); child;
         child = FindWindowExW(parent, child, nullptr, nullptr)) {
        if (HWND found = FindDescendant(child, className)) return found;
    }
    return nullptr;
}

HWND StartEditor() {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"open";
    info.lpFile = L"regedit.exe";
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteWithRetry(info)) return nullptr;
    UniqueHandle process(info.hProcess);
    if (process) WaitForInputIdle(process.Get(), kStartIdleWaitMs);
    return FindWindowW(kEditorClass, nullptr);
}

// Keyboard focus cannot be moved into another program's window; these calls only
// take effect when the editor runs on the caller's input queue, and fail quietly
// otherwise. A part that was not found is skipped: focus on no window would take
// the keyboard away from the host.
void FocusOn(HWND window) {
    if (!window) return;
    SetForegroundWindow(window);
    SetFocus(window);
}

bool SendKey(HWND window, UINT message, wchar_t key) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(window, message, key, kKeyStroke, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &answer) != 0;
}

// Displays of 8 bits per pixel or fewer get no settling pause; so does a display
// whose mode cannot be read.
bool SettlePausesApply() {
    DEVMODEW mode = {};
    mode.dmSize = sizeof(mode);
    return EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode) && mode.dmBitsPerPel > 8;
}

// Walks the tree's selection up to the top node, then types the key path: a
// backslash expands the selected key, other characters select the child whose
// name begins with what has been typed since.
bool TypeKeyPath(HWND tree, HKEY root, const wchar_t* keyPath) {
    for (int i = 0; i < kCollapseSteps; ++i)
        if (!SendKey(tree, WM_KEYDOWN, VK_LEFT)) return false;
    if (SettlePausesApply()) Sleep(kSettlePauseMs);
    const std::wstring path = L"\\" + GetFullHKEY(root) + keyPath;
    for (wchar_t c : path) {
        if (c != L'\\') {
            if (!SendKey(tree, WM_CHAR, AsciiUpper(c))) return false;
            continue;
        }
        if (!SendKey(tree, WM_KEYDOWN, VK_RIGHT)) return false;
        Sleep(kTypeAheadGapMs);
    }
    return true;
}

bool TypeValueName(HWND list, const wchar_t* valueName) {
    if (!SendKey(list, WM_KEYDOWN, VK_HOME)) return false;
    for (const wchar_t* c = valueName; *c; ++c)
        if (!SendKey(list, WM_CHAR, AsciiUpper(*c))) return false;
    return true;
}

}  // namespace

bool StartWithOneRetry(const std::function<BOOL()>& start) {
    if (start()) return true;
    if (GetLastError() == ERROR_SUCCESS) return false;
    Sleep(kRetryPauseMs);
    return start() != FALSE;
}

ExplorerCommand ExplorerSelectCommand(const wchar_t* path) {
    const wchar_t* shown = path ? path : L"";
    if (PrefixCompare(shown, L"\\??\\", 4) == 0) shown += 4;
    ExplorerCommand command;
    command.program = ExplorerProgram();
    command.parameters = std::wstring(L"/n, /select, \"") + shown + L"\"";
    return command;
}

int SelectInExplorer(const wchar_t* path) {
    if (!path) return 0;
    const ExplorerCommand command = ExplorerSelectCommand(path);
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = L"open";
    info.lpFile = command.program.c_str();
    info.lpParameters = command.parameters.c_str();
    info.nShow = SW_SHOW;
    return ShellExecuteWithRetry(info) ? 1 : 0;
}

int NavigateRegEdit(HKEY root, const wchar_t* keyPath, const wchar_t* valueName) {
    if (!root || !keyPath) return 0;
    HWND editor = FindWindowW(kEditorClass, nullptr);
    if (!editor) editor = StartEditor();
    if (!editor) return 0;
    // Asynchronous, so that an editor that does not answer cannot hold the caller.
    SetForegroundWindow(editor);
    ShowWindowAsync(editor, SW_SHOWNORMAL);
    HWND tree = FindDescendant(editor, L"SysTreeView32");
    FocusOn(tree);
    if (!TypeKeyPath(tree, root, keyPath)) return 0;
    FocusOn(editor);
    if (!valueName || !*valueName) return 1;
    HWND list = FindDescendant(editor, L"SysListView32");
    FocusOn(list);
    Sleep(kSettlePauseMs);
    return TypeValueName(list, valueName) ? 1 : 0;
}

}  // namespace kiv
