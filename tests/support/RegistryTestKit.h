// Registry and file fixtures for the handler tests: values with exact bytes, keys
// of a test's own, and program files in a folder of the test's own.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kivtest {

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    bool operator==(const RawValue& other) const { return type == other.type && bytes == other.bytes; }
};

// Reads a value whole (any size); found is false when it is not there.
bool ReadRaw(HKEY root, const std::wstring& key, const std::wstring& name, RawValue& value);
void WriteRaw(HKEY root, const std::wstring& key, const std::wstring& name, const RawValue& value);
RawValue TextValue(DWORD type, const std::wstring& text, bool withTerminator = true);
bool KeyExists(HKEY root, const std::wstring& key);

// Sets a key (below HKEY_CURRENT_USER unless another root is given) to the given
// access list (SDDL) for the life of the object, then gives everyone full access again.
class DeniedRight {
public:
    DeniedRight(const std::wstring& key, const wchar_t* sddl, HKEY root = HKEY_CURRENT_USER)
        : m_root(root), m_key(key) {
        Apply(sddl);
    }
    ~DeniedRight() { Apply(L"D:(A;;KA;;;WD)"); }
    DeniedRight(const DeniedRight&) = delete;
    DeniedRight& operator=(const DeniedRight&) = delete;

private:
    void Apply(const wchar_t* sddl);
    HKEY m_root;
    std::wstring m_key;
};

// Deletes a folder with everything in it.
void DeleteFolderTree(const std::wstring& path);

// A folder c:\kivtests\<name> with files in it, removed with everything in it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::wstring& Path() const { return m_path; }
    std::wstring AddFile(const std::wstring& name, const std::string& bytes = "MZ");

private:
    std::wstring m_path;
};

}  // namespace kivtest
