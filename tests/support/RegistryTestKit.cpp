#include "support/RegistryTestKit.h"

#include <sddl.h>
#include <shellapi.h>

#include "platform/Handles.h"

#include "support/TestSupport.h"

namespace kivtest {

bool ReadRaw(HKEY root, const std::wstring& key, const std::wstring& name, RawValue& value) {
    // The type reported by a failed query is not to be trusted (Wine leaves it unset),
    // so a value that is not there reads as REG_NONE with no bytes.
    value = RawValue();
    DWORD type = REG_NONE, size = 0;
    if (RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size) !=
        ERROR_SUCCESS)
        return false;
    std::vector<BYTE> bytes(size, 0);
    if (RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
                     bytes.empty() ? nullptr : bytes.data(), &size) != ERROR_SUCCESS)
        return false;
    bytes.resize(size);
    value.type = type;
    value.bytes = bytes;
    return true;
}

void WriteRaw(HKEY root, const std::wstring& key, const std::wstring& name, const RawValue& value) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(opened, name.c_str(), 0, value.type, value.bytes.data(), static_cast<DWORD>(value.bytes.size()));
    RegCloseKey(opened);
}

RawValue TextValue(DWORD type, const std::wstring& text, bool withTerminator) {
    RawValue value;
    value.type = type;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    size_t count = (text.size() + (withTerminator ? 1 : 0)) * sizeof(wchar_t);
    value.bytes.assign(bytes, bytes + count);
    return value;
}

void DeniedRight::Apply(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) return;
    kiv::UniqueHKey key;
    if (RegOpenKeyExW(m_root, m_key.c_str(), 0, WRITE_DAC, key.Put()) == ERROR_SUCCESS)
        RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
}

bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

ScratchFolder::ScratchFolder(const std::wstring& name) : m_path(L"C:\\kivtests\\" + name) {
    CreateDirectoryW(L"C:\\kivtests", nullptr);
    CreateDirectoryW(m_path.c_str(), nullptr);
}

void DeleteFolderTree(const std::wstring& path) {
    std::wstring from = path + L'\0';
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
}

ScratchFolder::~ScratchFolder() { DeleteFolderTree(m_path); }

std::wstring ScratchFolder::AddFile(const std::wstring& name, const std::string& bytes) {
    std::wstring path = m_path + L"\\" + name;
    WriteFileBytes(path, bytes);
    return path;
}

}  // namespace kivtest
