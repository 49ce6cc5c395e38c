// Reads and changes the AutoPlay policy of the drives: one item per drive letter
// whose root holds an autorun file, switched through the drive's bit in the
// Explorer policy "NoDriveAutoRun".
#include <windows.h>
#include <winnetwk.h>

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <new>
#include <vector>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/RegistryValues.h"
#include "platform/CollectionProbes.h"
#include "platform/FileSystem.h"
#include "platform/Handles.h"

namespace kiv {
namespace {

const wchar_t kPolicyKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const wchar_t kPolicyValue[] = L"NoDriveAutoRun";
const HKEY kPolicyRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
const DWORD kLabelChars = 260;
const DWORD kRemoteChars = 248;

struct DriveRecord {
    wchar_t letter = 0;
    std::wstring title;
    std::wstring path;
    unsigned enabled = 0;
};

// One root's half of the mask. An absent value is 0; a value that is there but is
// no 4-byte mask cannot be read, so it is never written over either.
bool ReadMaskValue(HKEY key, DWORD& mask, DWORD& type) {
    RegValueData value;
    const ValueRead read = ReadRegValue(key, kPolicyValue, value);
    mask = 0;
    type = REG_DWORD;
    if (read == ValueRead::Absent) return true;
    if (read != ValueRead::Ok || value.size != sizeof(DWORD)) return false;
    if (value.type != REG_DWORD && value.type != REG_BINARY) return false;
    std::memcpy(&mask, value.data, sizeof(DWORD));
    type = value.type;
    return true;
}

// The drives whose AutoRun is off: the bits of both roots together.
DWORD ReadPolicyMask() {
    DWORD mask = 0;
    for (HKEY root : kPolicyRoots) {
        UniqueHKey key;
        if (RegOpenKeyExW(root, kPolicyKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) continue;
        DWORD half = 0, type = REG_DWORD;
        if (ReadMaskValue(key.Get(), half, type)) mask |= half;
    }
    return mask;
}

// A root's mask as it was before a write changed it.
struct PolicyBefore {
    HKEY root;
    DWORD mask;
    DWORD type;
};

Status WriteMask(HKEY key, DWORD mask, DWORD type) {
    return Status::FromRegistry(
        RegSetValueExW(key, kPolicyValue, 0, type, reinterpret_cast<const BYTE*>(&mask), sizeof(mask)));
}

// Sets or clears the bit in each root whose policy key exists (it is never
// created); a success when at least one root was written. failure keeps the cause
// of the first root that could not be written; before, the masks of the roots
// written as they were.
Status WritePolicyBit(DWORD bit, bool set, Status& failure, std::vector<PolicyBefore>& before) {
    failure = Status::Ok();
    for (HKEY root : kPolicyRoots) {
        UniqueHKey key;
        Status step = Status::FromRegistry(RegOpenKeyExW(root, kPolicyKey, 0, KEY_READ | KEY_WRITE, key.Put()));
        DWORD mask = 0, type = REG_DWORD;
        if (step && !ReadMaskValue(key.Get(), mask, type)) step = Status::Fail(ERROR_INVALID_DATA);
        if (step) step = WriteMask(key.Get(), set ? (mask | bit) : (mask & ~bit), type);
        if (step) before.push_back({root, mask, type});
        if (!step && failure) failure = step;
    }
    return before.empty() ? failure : Status::Ok();
}

// Puts back the masks a write changed (a mask that was absent comes back as 0,
// which turns no drive's AutoRun off, as no value does).
void PutPolicyBack(const std::vector<PolicyBefore>& before) {
    for (const PolicyBefore& root : before) {
        UniqueHKey key;
        if (RegOpenKeyExW(root.root, kPolicyKey, 0, KEY_WRITE, key.Put()) == ERROR_SUCCESS)
            WriteMask(key.Get(), root.mask, root.type);
    }
}

// The item's drive bit, or 0 when its name is no drive letter.
DWORD DriveBit(const CKivItem* item) {
    if (!item || item->m_regNames.empty() || item->m_regNames[0].empty()) return 0;
    const wchar_t letter = item->m_regNames[0][0];
    if (letter < L'A' || letter > L'Z') return 0;
    return 1u << (letter - L'A');
}

// The drive type a location asks for: its value as a decimal number, modulo 256.
unsigned WantedDriveType(const Location* location) {
    return static_cast<unsigned>(std::wcstol(location->m_value.c_str(), nullptr, 10)) & 0xFFu;
}

DriveRecord MakeRecord(const std::wstring& title, const std::wstring& path, wchar_t letter, DWORD mask) {
    const unsigned enabled = (mask & (1u << (letter - L'A'))) ? 0 : 1;
    return DriveRecord{letter, title, path, enabled};
}

// A local drive is titled by its volume label, or by its root when it has none.
DriveRecord LocalRecord(const std::wstring& path, DWORD mask) {
    const std::wstring root = path.substr(0, 3);
    wchar_t label[kLabelChars] = {};
    if (!GetVolumeInformationW(root.c_str(), label, kLabelChars, nullptr, nullptr, nullptr, nullptr, 0)) label[0] = 0;
    return MakeRecord(label[0] ? std::wstring(label) : root, path, path[0], mask);
}

DriveConnection g_connection = nullptr;

DWORD __stdcall SystemConnection(const wchar_t* local, wchar_t* remote, DWORD* length) {
    return WNetGetConnectionW(local, remote, length);
}

// A mapped network drive is listed by its local name with the share's path of the file.
bool RemoteRecord(const std::wstring& path, DWORD mask, DriveRecord& record) {
    const std::wstring local = path.substr(0, 2);
    wchar_t remote[kRemoteChars] = {};
    DWORD length = kRemoteChars;
    const DriveConnection connection = g_connection ? g_connection : &SystemConnection;
    if (connection(local.c_str(), remote, &length) != NO_ERROR || !remote[0]) return false;
    remote[kRemoteChars - 1] = L'\0';
    const std::wstring remotePath = remote + path.substr(2);
    if (!FileExists(remotePath)) return false;
    record = MakeRecord(local, remotePath, path[0], mask);
    return true;
}

// Whether a drive of the type the system reports is one the location asks for. The
// types of local drives are asked for by name; any other wanted type stands for the
// drives of no known type.
bool TypeMatches(UINT type, unsigned wanted) {
    if (wanted == DRIVE_REMOVABLE || wanted == DRIVE_FIXED || wanted == DRIVE_CDROM || wanted == DRIVE_RAMDISK ||
        wanted == DRIVE_REMOTE)
        return type == wanted;
    return type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR;
}

// The system asks the process that manages the drives for each drive's type, which
// is slow; the autoplay places ask for every letter in both passes. While a
// collection runs, each letter's type is asked once and kept for the rest of it.
UINT DriveTypeOf(const std::wstring& path) {
    struct KeptTypes {
        unsigned generation = 0;
        UINT types[26] = {};
        bool known[26] = {};
    };
    thread_local KeptTypes kept;
    const std::wstring root = path.substr(0, 3);
    const wchar_t letter = static_cast<wchar_t>(towupper(root[0]));
    const unsigned generation = CollectionGeneration();
    if (generation == 0 || letter < L'A' || letter > L'Z') return GetDriveTypeW(root.c_str());
    if (kept.generation != generation) {
        kept = KeptTypes();
        kept.generation = generation;
    }
    const int index = letter - L'A';
    if (!kept.known[index]) {
        kept.types[index] = GetDriveTypeW(root.c_str());
        kept.known[index] = true;
    }
    return kept.types[index];
}

// The drive's type is asked first, which never touches its medium: a drive of
// another type is passed by without a look at its files, so an empty card reader is
// never read and a dead network letter never waited on.
bool FindDriveRecord(const std::wstring& path, unsigned wanted, DWORD mask, DriveRecord& record) {
    const UINT type = DriveTypeOf(path);
    if (!TypeMatches(type, wanted)) return false;
    if (wanted == DRIVE_REMOTE) return RemoteRecord(path, mask, record);
    if (!FileExists(path)) return false;
    record = LocalRecord(path, mask);
    return true;
}

// Keeps the system from asking the user to insert a medium while drives are probed,
// and gives the thread its own error mode back afterwards.
class QuietDriveErrors {
public:
    QuietDriveErrors() : m_set(SetThreadErrorMode(SEM_FAILCRITICALERRORS, &m_previous) != FALSE) {}
    ~QuietDriveErrors() {
        if (m_set) SetThreadErrorMode(m_previous, nullptr);
    }
    QuietDriveErrors(const QuietDriveErrors&) = delete;
    QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

private:
    DWORD m_previous = 0;
    bool m_set;
};

std::vector<DriveRecord> CollectDriveRecords(unsigned wanted) {
    std::vector<DriveRecord> records;
    const DWORD mask = ReadPolicyMask();
    const QuietDriveErrors quiet;
    for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
        std::wstring path = L"C:\\AutoRun.inf";
        path[0] = letter;
        DriveRecord record;
        if (FindDriveRecord(path, wanted, mask, record)) records.push_back(record);
    }
    return records;
}

// The drive's bit is the item's state.
Status SwitchAutoRun(CKivItem* item, bool off) {
    const DWORD bit = DriveBit(item);
    if (!bit) return Status::Fail(ERROR_INVALID_PARAMETER);
    Status failure;
    std::vector<PolicyBefore> before;
    const Status written = WritePolicyBit(bit, off, failure, before);
    // AutoRun stays off while either root keeps the bit, so the drive counts as
    // enabled only once the bit is clear in both; a failed enable changes nothing.
    if (written && !off && (ReadPolicyMask() & bit)) {
        PutPolicyBack(before);
        return Status::Fail(failure.Code());
    }
    return written;
}

Status DeleteAutorunFile(const CKivItem* item) {
    if (!item) return Status::Fail(ERROR_INVALID_PARAMETER);
    return DeleteFileW(item->m_file.filePath.c_str()) ? Status::Ok() : Status::FromLastError();
}

class CKivHandler_AutoPlay : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return SwitchAutoRun(item, true).Report(); }
    int EnableItem(CKivItem* item) override { return SwitchAutoRun(item, false).Report(); }
    int RemoveItem(CKivItem* item) override { return DeleteAutorunFile(item).Report(); }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    int GoTo(CKivItem*) override { return 0; }
    int ItemCompatible(CKivItem*) override { return 0; }
};

void CKivHandler_AutoPlay::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (wow64 || !location) return;
    for (const DriveRecord& record : CollectDriveRecords(WantedDriveType(location))) {
        if (record.enabled != enabledPass) continue;
        auto* item = new CKivItem(record.title, record.path, location, GotoKind::None, 0, enabledPass, 0);
        item->m_regNames.push_back(std::wstring(1, record.letter));
    }
}

}  // namespace

DriveConnection SetDriveConnectionCall(DriveConnection call) {
    const DriveConnection previous = g_connection;
    g_connection = call;
    return previous;
}

}  // namespace kiv

CKivHandler* NewAutoPlayHandler() { return new (std::nothrow) kiv::CKivHandler_AutoPlay(); }
