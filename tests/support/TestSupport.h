// Shared helpers of the test programs: the log sink's calls, the facade's
// internals, files beside the test program, and message boxes.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/Facade.h"
#include "core/Records.h"
#include "kiv.h"

// Records every call of the log sink exactly as the module made it.
class LogCapture {
public:
    struct Call {
        std::string text;  // the bytes the call covers (up to the terminator for 0xFFFFFFFF)
        unsigned length;   // the length argument as passed
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Call> Calls() const;
    // Every message piece (the calls that are neither time nor level prefixes).
    std::vector<std::string> Messages() const;
    void Clear();

private:
    static void __cdecl Receive(const char* text, unsigned length, void* context);
    mutable CRITICAL_SECTION m_lock;
    std::vector<Call> m_calls;
};

// Reaches the facade's private state; a friend of the facade's implementation.
class CKivTestAccess {
public:
    static kiv::Facade& Of(CKiv* kiv) { return kiv::Facade::Of(*kiv); }
    static std::vector<std::unique_ptr<Category>>& Categories(CKiv* kiv) { return Of(kiv).m_catalogue.m_categories; }
    static kiv::HandlerSet& Handlers(CKiv* kiv) { return Of(kiv).m_handlers; }
    static std::map<unsigned, std::unique_ptr<CKivItem>>& ItemMap(CKiv* kiv) { return Of(kiv).m_items.m_map; }
    static std::map<std::wstring, unsigned>& WhiteList(CKiv* kiv) { return Of(kiv).m_whiteList.m_entries; }
    static int StopFlag(CKiv* kiv) { return Of(kiv).m_stop.load(); }
    static void SetFileReaders(CKiv* kiv, unsigned readers) { Of(kiv).m_fileReaders = readers; }
    static bool LoadData(CKiv* kiv) { return Of(kiv).LoadData(); }
    static bool LoadWhiteList(CKiv* kiv, const wchar_t* text) { return Of(kiv).m_whiteList.Load(text); }
    static bool GetWhiteList(CKiv* kiv, const wchar_t* path, const wchar_t* name) {
        return Of(kiv).m_whiteList.LoadFile(path, name);
    }
    // A category or location made as the catalogue loader makes them.
    static Category* AddCategory(CKiv* kiv, const std::wstring& name, int icon = 0) {
        return &Of(kiv).m_catalogue.AddCategory(name, icon);
    }
    static Location* AddLocation(CKiv* kiv, Category* category, const std::wstring& path, const std::wstring& value,
                                 unsigned type, EKivHandlerType handlerType, unsigned char wow64 = 0) {
        return &Of(kiv).m_catalogue.AddLocation(*category, path, value, type, handlerType, wow64);
    }
};

namespace kivtest {

// A facade over an empty catalogue and the given whitelist text (by default one of
// no use), with one category of the test's own to which tests add locations by hand.
// Both data files are removed again afterwards.
class FacadeTest : public ::testing::Test {
protected:
    explicit FacadeTest(std::wstring whiteList = L"|0") : m_whiteList(std::move(whiteList)) {}
    void SetUp() override;
    void TearDown() override;
    // The item of a location with this title, or null.
    CKivItem* FindTitle(const Location* location, const std::wstring& title);
    // The items of a location, in the order they were made.
    std::vector<CKivItem*> ItemsOf(const Location* location);
    // A location of the test's category, read by the handler of its type.
    Location* AddLocation(const std::wstring& path, const std::wstring& value, unsigned type,
                          EKivHandlerType handlerType, unsigned char wow64 = 0) {
        return CKivTestAccess::AddLocation(m_kiv, m_category, path, value, type, handlerType, wow64);
    }

    std::wstring m_whiteList;
    CKiv* m_kiv = nullptr;
    Category* m_category = nullptr;
};

// The text with every letter made lower case, for comparing paths that the file
// system may return in another case.
std::wstring Lower(std::wstring text);

// The folder of the running test program, with its trailing backslash.
std::wstring ProgramFolder();

// Writes bytes to a file (replacing it).
void WriteFileBytes(const std::wstring& path, const std::string& bytes);

// A file's bytes; empty when it cannot be read.
std::string ReadBytes(const std::wstring& path);

// The text with each character cut to 8 bits: for ASCII paths and messages only.
std::string Narrow(const std::wstring& text);

// Writes bytes to a file beside the test program (replacing it) and returns its path.
std::wstring WriteBesideProgram(const std::wstring& name, const std::string& bytes);
void DeleteBesideProgram(const std::wstring& name);

// UTF-16 LE bytes of a text, optionally with a byte order mark.
std::string Utf16Bytes(const std::wstring& text, bool withMark);

// Watches for a top-level dialog with the given caption on a second thread, records
// its text and closes it, so that a message box cannot block a test.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(const std::wstring& caption);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Texts of the boxes seen and closed so far.
    std::vector<std::wstring> Seen();

private:
    void Run();
    std::wstring m_caption;
    std::atomic<bool> m_stop{false};
    CRITICAL_SECTION m_lock;
    std::vector<std::wstring> m_seen;
    std::thread m_thread;
};

// Sets an environment variable of this process and puts back the old value (or none).
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::wstring& value) : m_name(name) {
        std::vector<wchar_t> old(32767);
        m_had = GetEnvironmentVariableW(name, old.data(), 32767) > 0;
        m_old = old.data();
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedVariable() { SetEnvironmentVariableW(m_name.c_str(), m_had ? m_old.c_str() : nullptr); }

private:
    std::wstring m_name, m_old;
    bool m_had = false;
};

// A registry key of a test's own below HKCU\Software\KivTests, deleted with its content.
class ScratchKey {
public:
    explicit ScratchKey(const std::wstring& name);
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;
    const std::wstring& Path() const { return m_path; }  // below HKEY_CURRENT_USER

private:
    std::wstring m_path;
};

}  // namespace kivtest
