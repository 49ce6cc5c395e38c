#include "handlers/ClassLookup.h"

#include "handlers/steps/RegistryValues.h"
#include "iteminfo/ServerFile.h"
#include "kiv.h"
#include "platform/Handles.h"

namespace kiv {
namespace {

// The default value of an open class key as text, with its size in bytes.
bool ReadDefaultText(HKEY key, std::wstring& text, DWORD& bytes) {
    RegValueData value;
    if (ReadRegValue(key, L"", value) != ValueRead::Ok) return false;
    text = value.Text();
    bytes = value.size;
    return true;
}

bool OpenClassKey(const std::wstring& path, unsigned char wow64, UniqueHKey& key) {
    const REGSAM view = wow64 ? KEY_WOW64_32KEY : 0;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, key.Put()) == ERROR_SUCCESS;
}

}  // namespace

bool LookupClass(const std::wstring& classId, const std::vector<std::wstring>& envPaths, std::wstring& title,
                 std::wstring& file, unsigned char wow64) {
    const std::wstring classKey = L"CLSID\\" + classId;
    DWORD bytes = 0;
    {
        UniqueHKey key;
        if (!OpenClassKey(classKey, wow64, key)) return false;
        std::wstring name;
        if (ReadDefaultText(key.Get(), name, bytes)) title = name;
        else title.clear();
    }
    UniqueHKey serverKey;
    std::wstring server;
    if (!OpenClassKey(classKey + L"\\InprocServer32", wow64, serverKey) ||
        !ReadDefaultText(serverKey.Get(), server, bytes) || bytes < 2)
        return false;
    if (title.empty()) title = server;
    file = server;
    return FindServerFile(file, envPaths, wow64);
}

}  // namespace kiv
