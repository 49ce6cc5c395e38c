#include "handlers/ClassLookup.h"

#include "handlers/RegistryValues.h"
#include "iteminfo/PathNormalize.h"
#include "kiv.h"
#include "platform/Handles.h"

namespace kiv {
namespace {

// The default value of a class key as text; Absent/Unreadable when it cannot be read.
ValueRead ReadDefaultText(const std::wstring& path, std::wstring& text, DWORD& bytes) {
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return ValueRead::Absent;
    RegValueData value;
    ValueRead read = ReadRegValue(key.Get(), L"", value);
    if (read == ValueRead::Ok) {
        text = value.Text();
        bytes = value.size;
    }
    return read;
}

}  // namespace

bool LookupClass(const std::wstring& classId, std::wstring& title, std::wstring& file) {
    const std::wstring classKey = L"CLSID\\" + classId;
    {
        UniqueHKey key;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, classKey.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
            return false;
    }
    std::wstring name;
    DWORD bytes = 0;
    if (ReadDefaultText(classKey, name, bytes) == ValueRead::Ok) title = name;
    else title.clear();

    std::wstring server;
    if (ReadDefaultText(classKey + L"\\InprocServer32", server, bytes) != ValueRead::Ok || bytes < 2) return false;
    if (title.empty()) title = server;
    file = server;
    CKiv* kiv = CKiv::Get();
    static const std::vector<std::wstring> kNoPaths;
    return FindServerFile(file, kiv ? kiv->EnvPaths() : kNoPaths);
}

}  // namespace kiv
