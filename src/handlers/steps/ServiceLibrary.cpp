#include "handlers/steps/ServiceLibrary.h"

#include "core/Records.h"
#include "handlers/steps/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "platform/Environment.h"

namespace kiv {
namespace {

const wchar_t kLibraryValue[] = L"ServiceDll";

bool ReadLibrary(HKEY root, const std::wstring& path, std::wstring& library) {
    UniqueHKey key;
    RegValueData value;
    if (!OpenKeyToRead(root, path, key) || ReadRegValue(key.Get(), kLibraryValue, value) != ValueRead::Ok ||
        !value.IsString())
        return false;
    library = value.Text();
    return !library.empty();
}

}  // namespace

std::wstring ServiceLibrary(const Location* location, const std::wstring& service) {
    if (!location || service.empty()) return std::wstring();
    const std::wstring key = location->m_path + L"\\" + service;
    std::wstring library;
    if (!ReadLibrary(location->m_root, key + L"\\Parameters", library) && !ReadLibrary(location->m_root, key, library))
        return std::wstring();
    ExpandPath(library);
    std::wstring file = library;
    return ResolveEntry(file, 0) ? file : library;
}

}  // namespace kiv
