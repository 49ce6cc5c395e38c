#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filefacts/TestFolder.h"
#include "platform/CollectionProbes.h"
#include "iteminfo/Wow64Redirection.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

using kiv::CollectionGeneration;
using kiv::CollectionProbes;
using kiv::FileExists;
using kiv::KnownProbe;

// Inside a collection the listing answers plain names exactly as the file system
// does (any case, files and folders, missing folders), leaves every other form to
// the file system, and a new collection lists afresh.
TEST(CollectionProbes, AnswerAsTheFileSystemDoesAndOnlyForPlainNames) {
    kivtest::TestFolder folder(L"collectionprobes_test", L"probes");
    ASSERT_TRUE(kivtest::WriteBytes(folder / L"Tool.exe", "MZ"));
    ASSERT_TRUE(CreateDirectoryW((folder / L"Sub").c_str(), nullptr));
    const std::wstring base = folder.Path();
    const std::vector<std::wstring> probes = {
        base + L"\\Tool.exe",
        base + L"\\TOOL.EXE",
        base + L"\\tool.exe",
        base + L"\\sub",
        base + L"\\missing.exe",
        base + L"\\Tool",
        base + L"\\missing\\Tool.exe",
        base + L"\\Tool.exe.",
        base + L"\\Tool.exe ",
        base + L"\\T*.exe",
        base + L"\\.\\Tool.exe",
        L"Tool.exe",
        base + L"/Sub/../Tool.exe",
        base + L"\\Tool.exe /quiet",
        base + L"\\nul",
        base + L"\\Sub\\x.exe",
    };
    auto redirected = [](std::wstring path) {
        kiv::RedirectTo32Bit(path);
        return path;
    };
    const std::wstring programs = redirected(L"C:\\Program Files\\Kiv\\a.exe");
    ASSERT_NE(L"C:\\Program Files\\Kiv\\a.exe", programs);
    std::vector<bool> outside;
    for (const std::wstring& path : probes) outside.push_back(FileExists(path));
    EXPECT_EQ(-1, KnownProbe(probes[0])) << "nothing is kept outside a collection";
    EXPECT_EQ(0u, CollectionGeneration());

    unsigned first = 0;
    {
        CollectionProbes collection;
        first = CollectionGeneration();
        EXPECT_NE(0u, first);
        for (std::size_t i = 0; i < probes.size(); ++i) EXPECT_EQ(outside[i], FileExists(probes[i])) << i;
        EXPECT_EQ(1, KnownProbe(base + L"\\tOOL.exe"));
        EXPECT_EQ(0, KnownProbe(base + L"\\missing.exe"));
        EXPECT_EQ(0, KnownProbe(base + L"\\missing\\Tool.exe"));
        EXPECT_EQ(0, KnownProbe(base + L"\\Tool.exe /quiet")) << "a folder named \"Tool.exe \" is not there";
        EXPECT_EQ(1, KnownProbe(base + L"/sub"));
        for (const wchar_t* odd : {L"\\Tool.exe.", L"\\Tool.exe ", L"\\T*.exe", L"\\.\\Tool.exe", L"\\TOOL~1.EXE"})
            EXPECT_EQ(-1, KnownProbe(base + odd)) << "left to the file system: " << std::string(odd, odd + 8);
        EXPECT_EQ(-1, KnownProbe(L"Tool.exe"));
        for (int use = 0; use < 2; ++use) EXPECT_EQ(programs, redirected(L"C:\\Program Files\\Kiv\\a.exe"));
        {
            CollectionProbes nested;
            EXPECT_EQ(first, CollectionGeneration()) << "a nested scope shares the collection";
        }
        EXPECT_EQ(first, CollectionGeneration());
        ASSERT_TRUE(kivtest::WriteBytes(folder / L"later.exe", "MZ"));
    }
    EXPECT_EQ(0u, CollectionGeneration());
    CollectionProbes next;
    EXPECT_NE(first, CollectionGeneration());
    EXPECT_EQ(1, KnownProbe(base + L"\\later.exe")) << "each collection lists the folder afresh";
}
