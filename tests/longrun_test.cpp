// A host keeps the module loaded for hours: many whole cycles (Init, Collect over
// every kind of location, queries, Dispose) and many disable/enable round trips
// must leave the process's handles, window-system objects and private memory where
// they were after the first cycles. ctest runs a short form; scripts/longrun.sh sets
// KIVTEST_CYCLES=1000 for the full one.
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::ScratchFolder;
using kivtest::ScratchKey;
using kivtest::TextValue;
using kivtest::WriteRaw;

namespace {

int Cycles(int fallback) {
    const char* text = std::getenv("KIVTEST_CYCLES");
    int value = text ? std::atoi(text) : 0;
    return value > 0 ? value : fallback;
}

struct Level {
    DWORD handles = 0, gdi = 0, user = 0;
    SIZE_T privateBytes = 0;
};

// Handles are counted in the process's handle table itself (GetProcessHandleCount
// answers 0 under Wine): every value that names an open handle. Private memory is
// the committed private pages of the address space, walked region by region, which
// Wine reports as Windows does (its process counters do not).
DWORD CountHandles() {
    DWORD open = 0, flags = 0;
    for (ULONG_PTR value = 4; value < 0x20000; value += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++open;
    return open;
}

SIZE_T CommittedPrivateBytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region = {};
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof(region)) == sizeof(region);
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    }
    return total;
}

Level Measure() {
    Level level;
    DWORD reported = 0;
    GetProcessHandleCount(GetCurrentProcess(), &reported);
    level.handles = std::max(reported, CountHandles());
    // GetGuiResources answers 0 under Wine; on Windows it counts the icons the items hold.
    level.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    level.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    level.privateBytes = std::max<SIZE_T>(counters.PrivateUsage, CommittedPrivateBytes());
    return level;
}

// Back to the level of the first cycles: a little slack for the system's own caches,
// and one megabyte for the heap's.
void ExpectFlat(const Level& first, const Level& last, const char* what) {
    std::printf("%s: handles %lu -> %lu, GDI %lu -> %lu, USER %lu -> %lu, private %zu KiB -> %zu KiB\n", what,
                first.handles, last.handles, first.gdi, last.gdi, first.user, last.user, first.privateBytes / 1024,
                last.privateBytes / 1024);
    EXPECT_LE(last.handles, first.handles + 3) << what;
    EXPECT_LE(last.gdi, first.gdi + 8) << what;
    EXPECT_LE(last.user, first.user + 8) << what;
    EXPECT_LE(last.privateBytes, first.privateBytes + 1024 * 1024) << what;
}

using kivtest::Narrow;

// Places of the test's own for every kind that can have them; the kinds that only
// read the system (services, drivers, tasks, the provider catalogue, win.ini) use
// the system's places, read-only.
class LongRun : public ::testing::Test {
protected:
    LongRun() : m_key(L"LongRun"), m_folder(L"LongRun") {
        const std::wstring base = L"HKCU\\" + m_key.Path();
        const std::wstring dir = m_folder.Path();
        CreateDirectoryW((dir + L"\\Startup").c_str(), nullptr);
        // A real program with icons, so icons are extracted and released every cycle.
        CopyFileW(L"C:\\windows\\notepad.exe", (dir + L"\\app.exe").c_str(), FALSE);
        CopyFileW(L"C:\\windows\\notepad.exe", (dir + L"\\Startup\\tool.exe").c_str(), FALSE);
        CopyFileW(L"C:\\windows\\system32\\shell32.dll", (dir + L"\\lib.dll").c_str(), FALSE);
        const std::wstring app = dir + L"\\app.exe";
        WriteRaw(HKEY_CURRENT_USER, m_key.Path() + L"\\Run", L"App", TextValue(REG_SZ, L"\"" + app + L"\" /x"));
        WriteRaw(HKEY_CURRENT_USER, m_key.Path() + L"\\Winlogon", L"Shell", TextValue(REG_SZ, app));
        WriteRaw(HKEY_CURRENT_USER, m_key.Path() + L"\\Windows", L"AppInit_DLLs",
                 TextValue(REG_SZ, dir + L"\\lib.dll"));
        WriteRaw(HKEY_CURRENT_USER, m_key.Path() + L"\\Handlers\\Entry", L"Run", TextValue(REG_SZ, app));
        WriteRaw(HKEY_CURRENT_USER, m_key.Path() + L"\\Explorer", L"2", TextValue(REG_SZ, app));
        kivtest::WriteFileBytes(dir + L"\\system.ini", "[boot]\r\nshell=" + Narrow(app) + "\r\n");
        kivtest::WriteFileBytes(dir + L"\\autorun.inf", "[autorun]\r\nopen=app.exe\r\nicon=app.exe,0\r\n");
        const struct {
            int htype, ltype;
            std::wstring path, value;
        } locations[] = {
            {0, 0, base + L"\\Run", L""},
            {1, 1, base + L"\\Winlogon", L"Shell"},
            {2, 2, dir + L"\\Startup", L""},
            {3, 0, base + L"\\Filters", L""},
            {4, 0, base + L"\\Handlers", L""},
            {5, 0, base + L"\\Delay", L""},
            {6, 2, L"%windir%\\System32\\Tasks", L""},
            {7, 0, L"HKLM\\SYSTEM\\CurrentControlSet\\Services", L""},
            {8, 0, L"HKLM\\SYSTEM\\CurrentControlSet\\Services", L""},
            {9, 2, L"%SystemRoot%\\win.ini", L""},
            {10, 2, dir + L"\\system.ini", L""},
            {11, 2, dir + L"\\", L""},
            {12, 2, dir + L"\\", L""},
            {13, 0, L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\WinSock2\\Parameters\\Protocol_Catalog9", L""},
            {14, 1, base + L"\\Windows", L"AppInit_DLLs"},
            {15, 1, base + L"\\Explorer", L"2"},
        };
        std::string xml = "<kivdata><cat><name>Long run</name><locs>";
        for (const auto& l : locations) {
            xml += "<loc><htype>" + std::to_string(l.htype) + "</htype><ltype>" + std::to_string(l.ltype) +
                   "</ltype><path>" + Narrow(l.path) + "</path>";
            if (!l.value.empty()) xml += "<value>" + Narrow(l.value) + "</value>";
            xml += "</loc>";
        }
        kivtest::WriteBesideProgram(L"kivdata.dat", xml + "</locs></cat></kivdata>");
        kivtest::WriteBesideProgram(L"kivwl.dat", kivtest::Utf16Bytes(L"0123456789abcdef0123456789abcdef|1", false));
    }
    ~LongRun() override {
        CKiv::Dispose();
        kivtest::DeleteBesideProgram(L"kivdata.dat");
        kivtest::DeleteBesideProgram(L"kivwl.dat");
    }

    // One whole cycle; the number of items found.
    unsigned Cycle() {
        CKiv* kiv = CKiv::Init();
        kiv->Collect();
        unsigned items = 0;
        for (unsigned l = 0; l < kiv->GetLocationCount(0); ++l) {
            for (unsigned i = 0; i < kiv->GetItemCount(0, l); ++i, ++items) {
                unsigned id = kiv->GetItemGlobalID(0, l, i);
                kiv->GetItemIcon(id);
                kiv->GetItemTitle(id);
                kiv->GetItemFileMd5(id);
                kiv->GetItemFilePublisher(id);
                kiv->GetItemFileModified(id);
                kiv->IsWhiteListed(id);
            }
        }
        CKiv::Dispose();
        return items;
    }

    ScratchKey m_key;
    ScratchFolder m_folder;
};

}  // namespace

TEST_F(LongRun, WholeCyclesLeaveHandlesObjectsAndMemoryFlat) {
    const int cycles = Cycles(6);
    unsigned items = 0;
    for (int c = 0; c < 3; ++c) items = Cycle();
    EXPECT_GE(items, 6u);  // the test's own places are found
    const Level first = Measure();
    for (int c = 3; c < cycles; ++c) ASSERT_EQ(items, Cycle()) << c;
    ExpectFlat(first, Measure(), "cycles");
}

// A startup file's item keeps the facts of the places its file has left, for the
// texts a host may still hold, until the next collection; a host collects again
// after its actions, and so does this test every few rounds.
TEST_F(LongRun, DisableEnableRoundTripsLeaveHandlesObjectsAndMemoryFlat) {
    const int roundsPerCollection = 10;
    const int rounds = std::max(Cycles(40), 2 * roundsPerCollection);
    CKiv* kiv = CKiv::Init();
    kiv->Collect();
    // One item of each kind whose first round trip works, by its location.
    std::vector<unsigned> places;
    for (unsigned l = 0; l < kiv->GetLocationCount(0); ++l) {
        if (kiv->GetItemCount(0, l) == 0) continue;
        unsigned id = kiv->GetItemGlobalID(0, l, 0);
        if (kiv->DisableItem(id) && kiv->EnableItem(id)) places.push_back(l);
    }
    EXPECT_GE(places.size(), 5u);
    Level first;
    for (int r = 0; r < rounds; ++r) {
        if (r % roundsPerCollection == 0) kiv->Collect();
        if (r == roundsPerCollection) first = Measure();
        for (unsigned l : places) {
            const unsigned id = kiv->GetItemGlobalID(0, l, 0);
            ASSERT_EQ(1, kiv->DisableItem(id)) << r;
            ASSERT_EQ(0, kiv->GetItemEnabled(id));
            ASSERT_EQ(1, kiv->EnableItem(id)) << r;
            ASSERT_EQ(1, kiv->GetItemEnabled(id));
        }
    }
    kiv->Collect();
    ExpectFlat(first, Measure(), "round trips");
}
