// Loading the catalogue file "kivdata.dat" beside the host's executable.
#include "core/HostFiles.h"
#include "core/Records.h"
#include "kiv.h"
#include "platform/Log.h"

using kiv::LogLine;

bool CKiv::LoadData() {
    wchar_t path[MAX_PATH];
    kiv::HostFileResult found = kiv::HostFilePath(L"kivdata.dat", path);
    if (found == kiv::HostFileResult::NoFolder) {
        LogLine(L"KIV\t\t\t Unable to get working folder.");
        return false;
    }
    DWORD attributes = found == kiv::HostFileResult::Ok ? GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        LogLine(L"KIV\t\t\t Kiv data file not found.");
        return false;
    }
    LoadWhiteListFile();
    // Categories and locations are read from the file by the catalogue reader.
    return true;
}

