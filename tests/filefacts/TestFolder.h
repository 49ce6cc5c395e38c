// Helpers shared by the file-facts, version reader and MD5 tests: a folder of a
// test's own below c:\kivtests that is removed with everything in it, files
// written there, shortcuts made through the shell-link object, and COM on the
// test's thread (the module expects its host to have initialised COM).
#pragma once

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>

#include "iteminfo/Md5.h"
#include "platform/Handles.h"
#include "support/TestSupport.h"

namespace kivtest {

// The MD5 text of some bytes, from the module's own digest.
inline std::wstring DigestOf(const std::string& bytes) {
    CMd5 md5;
    md5.Update(bytes.data(), bytes.size());
    unsigned char digest[16];
    md5.Final(digest);
    return kiv::Md5Text(digest);
}

// Long paths are made and removed through the "\\?\" form, which has no length limit.
inline std::wstring Extended(const std::wstring& path) { return L"\\\\?\\" + path; }

inline void DeleteTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found = {};
    kiv::UniqueFind find(FindFirstFileW(Extended(folder + L"\\*").c_str(), &found));
    for (bool more = find.Valid(); more; more = FindNextFileW(find.Get(), &found) != FALSE) {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DeleteTree(path);
        } else {
            SetFileAttributesW(Extended(path).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(Extended(path).c_str());
        }
    }
    find.Reset();
    RemoveDirectoryW(Extended(folder).c_str());
}

// c:\kivtests\<test>\<name>, made empty on construction and removed with its
// content (and the test's folder, once empty) on destruction.
class TestFolder {
public:
    TestFolder(const std::wstring& test, const std::wstring& name)
        : m_testRoot(L"c:\\kivtests\\" + test), m_path(m_testRoot + L"\\" + name) {
        CreateDirectoryW(L"c:\\kivtests", nullptr);
        CreateDirectoryW(m_testRoot.c_str(), nullptr);
        DeleteTree(m_path);
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~TestFolder() {
        DeleteTree(m_path);
        RemoveDirectoryW(m_testRoot.c_str());
        RemoveDirectoryW(L"c:\\kivtests");
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    // The folder's path without trailing backslash, or the path of a name inside it.
    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_testRoot;
    std::wstring m_path;
};

inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    kiv::UniqueFile file(
        CreateFileW(Extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Saves a shortcut to target at path with the shell-link object.
inline HRESULT MakeShortcut(const std::wstring& path, const std::wstring& target) {
    kiv::ComPtr<IShellLinkW> link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid());
    if (FAILED(result)) return result;
    if (FAILED(result = link->SetPath(target.c_str()))) return result;
    kiv::ComPtr<IPersistFile> file;
    if (FAILED(result = link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return result;
    return file->Save(path.c_str(), TRUE);
}

class ComApartment {
public:
    ComApartment() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(m_result)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool Ok() const { return SUCCEEDED(m_result); }

private:
    HRESULT m_result;
};

}  // namespace kivtest
