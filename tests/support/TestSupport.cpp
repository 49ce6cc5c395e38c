#include "support/TestSupport.h"

#include <shlwapi.h>

#include <cstring>
#include <cwctype>

#include "hubcore.h"
#include "platform/Handles.h"

LogCapture::LogCapture() {
    InitializeCriticalSection(&m_lock);
    HubSetLogReceiver(&LogCapture::Receive, this, 0);
}

LogCapture::~LogCapture() {
    HubSetLogReceiver(nullptr, nullptr, 1);
    DeleteCriticalSection(&m_lock);
}

void __cdecl LogCapture::Receive(const char* text, unsigned length, void* context) {
    auto* self = static_cast<LogCapture*>(context);
    Call call;
    call.length = length;
    call.text = length == 0xFFFFFFFFu ? std::string(text) : std::string(text, length);
    EnterCriticalSection(&self->m_lock);
    self->m_calls.push_back(call);
    LeaveCriticalSection(&self->m_lock);
}

std::vector<LogCapture::Call> LogCapture::Calls() const {
    EnterCriticalSection(&m_lock);
    std::vector<Call> copy = m_calls;
    LeaveCriticalSection(&m_lock);
    return copy;
}

std::vector<std::string> LogCapture::Messages() const {
    std::vector<std::string> messages;
    for (const Call& call : Calls()) {
        bool timePrefix = call.text.size() == 8 && call.text[0] == '[' && call.text[3] == ':' && call.text[7] == ' ';
        bool levelPrefix = call.length == 0xFFFFFFFFu;
        if (timePrefix || levelPrefix) continue;
        std::string text = call.text;
        if (!text.empty() && text.back() == '\0') text.pop_back();
        messages.push_back(text);
    }
    return messages;
}

void LogCapture::Clear() {
    EnterCriticalSection(&m_lock);
    m_calls.clear();
    LeaveCriticalSection(&m_lock);
}

namespace kivtest {

void FacadeTest::SetUp() {
    WriteBesideProgram(L"kivdata.dat", "<kivdata></kivdata>");
    WriteBesideProgram(L"kivwl.dat", Utf16Bytes(m_whiteList, false));
    m_kiv = CKiv::Init();
    ASSERT_NE(nullptr, m_kiv);
    m_category = CKivTestAccess::AddCategory(m_kiv, L"test");
}

void FacadeTest::TearDown() {
    CKiv::Dispose();
    DeleteBesideProgram(L"kivdata.dat");
    DeleteBesideProgram(L"kivwl.dat");
}

CKivItem* FacadeTest::FindTitle(const Location* location, const std::wstring& title) {
    for (unsigned id : location->m_itemIds) {
        CKivItem* item = m_kiv->ItemMapGet(id);
        if (item && item->m_title == title) return item;
    }
    return nullptr;
}

std::vector<CKivItem*> FacadeTest::ItemsOf(const Location* location) {
    std::vector<CKivItem*> items;
    for (unsigned id : location->m_itemIds) items.push_back(m_kiv->ItemMapGet(id));
    return items;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    folder.erase(folder.find_last_of(L'\\') + 1);
    return folder;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadBytes(const std::wstring& path) {
    kiv::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (file && ReadFile(file.Get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
    return bytes;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring WriteBesideProgram(const std::wstring& name, const std::string& bytes) {
    std::wstring path = ProgramFolder() + name;
    WriteFileBytes(path, bytes);
    return path;
}

void DeleteBesideProgram(const std::wstring& name) { DeleteFileW((ProgramFolder() + name).c_str()); }

std::string Utf16Bytes(const std::wstring& text, bool withMark) {
    std::string bytes;
    if (withMark) bytes += "\xFF\xFE";
    for (wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return bytes;
}

MessageBoxWatcher::MessageBoxWatcher(const std::wstring& caption) : m_caption(caption) {
    InitializeCriticalSection(&m_lock);
    m_thread = std::thread([this] { Run(); });
}

MessageBoxWatcher::~MessageBoxWatcher() {
    m_stop = true;
    m_thread.join();
    DeleteCriticalSection(&m_lock);
}

std::vector<std::wstring> MessageBoxWatcher::Seen() {
    EnterCriticalSection(&m_lock);
    std::vector<std::wstring> copy = m_seen;
    LeaveCriticalSection(&m_lock);
    return copy;
}

namespace {
struct BoxSearch {
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    wchar_t title[256] = {};
    wchar_t className[64] = {};
    GetWindowTextW(window, title, 256);
    GetClassNameW(window, className, 64);
    if (*search->caption == title && wcscmp(className, L"#32770") == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The message text of a message box: the text of its static controls that is not
// the icon (the icon's static control has no text).
BOOL CALLBACK CollectStaticText(HWND child, LPARAM param) {
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (_wcsicmp(className, L"Static") != 0) return TRUE;
    wchar_t text[512] = {};
    GetWindowTextW(child, text, 512);
    auto* collected = reinterpret_cast<std::wstring*>(param);
    if (text[0] && wcslen(text) > collected->size()) *collected = text;
    return TRUE;
}

std::wstring BoxText(HWND box) {
    std::wstring text;
    EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&text));
    return text;
}
}  // namespace

void MessageBoxWatcher::Run() {
    while (!m_stop) {
        BoxSearch search{&m_caption, nullptr};
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            std::wstring text = BoxText(search.found);
            EnterCriticalSection(&m_lock);
            m_seen.push_back(text);
            LeaveCriticalSection(&m_lock);
            SendMessageTimeoutW(search.found, WM_COMMAND, IDOK, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
            Sleep(200);
        } else {
            Sleep(20);
        }
    }
}

ScratchKey::ScratchKey(const std::wstring& name) : m_path(L"Software\\KivTests\\" + name) {
    SHDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str());
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS)
        RegCloseKey(key);
}

ScratchKey::~ScratchKey() { SHDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str()); }

}  // namespace kivtest
