#include <gtest/gtest.h>

#include "core/Records.h"
#include "core/KivHandler.h"
#include "iteminfo/Md5.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::ScratchFolder;

namespace {

// Makes one enabled item per file it is given, with a chosen go-to kind, and
// counts the restores asked of it.
class FileListHandler : public CKivHandler {
public:
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override {
        if (!enabledPass) return;
        for (const std::wstring& file : files) new CKivItem(L"title of " + file, file, location, gotoKind, wow64, 1, 0);
    }
    int RestoreItem(CKivItem*) override { return ++restores, restoreResult; }
    // Answers with disableResult, leaving disableCode (if any) as the last error.
    int DisableItem(CKivItem*) override {
        if (disableCode != ERROR_SUCCESS) SetLastError(disableCode);
        return disableResult;
    }
    void GetItemRegLocation(CKivItem*, std::wstring& key, std::wstring&) override { key = regKey; }
    std::vector<std::wstring> files;
    int disableResult = 0;
    DWORD disableCode = ERROR_SUCCESS;
    std::wstring regKey;
    GotoKind gotoKind = GotoKind::Explorer;
    int restores = 0;
    int restoreResult = 0;
};

const wchar_t kListed[] = L"5d41402abc4b2a76b9719d911017c592";  // the MD5 of "hello"

class QueriesTest : public kivtest::FacadeTest {
protected:
    QueriesTest() : FacadeTest(std::wstring(kListed) + L"|1\r\n") {}
    void SetUp() override {
        FacadeTest::SetUp();
        m_category->m_name = L"Files";
        m_category->m_icon = 3;
        m_location = AddLocation(L"C:\\kivtests\\Queries", L"", 2, SimpleFile);
        m_location->m_handler = &m_handler;
    }

    Location* m_location = nullptr;
    FileListHandler m_handler;
    std::wstring m_listed = kListed;
};

void SetLocalWriteTime(const std::wstring& path, WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    SYSTEMTIME local = {};
    local.wYear = year;
    local.wMonth = month;
    local.wDay = day;
    local.wHour = hour;
    local.wMinute = minute;
    SYSTEMTIME utc = {};
    TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
    FILETIME time = {};
    SystemTimeToFileTime(&utc, &time);
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, &time, nullptr, &time);
    CloseHandle(file);
}

}  // namespace

TEST_F(QueriesTest, PositionAndIdFormsAgreeAndDatesShareOneBuffer) {
    ScratchFolder folder(L"Queries");
    std::wstring hello = folder.AddFile(L"hello.exe", "hello");
    std::wstring other = folder.AddFile(L"other.dll", "other bytes");
    SetLocalWriteTime(hello, 2021, 3, 5, 7, 4);
    m_handler.files = {hello, other};
    m_kiv->Collect();

    ASSERT_EQ(1u, m_kiv->GetCategoryCount());
    EXPECT_STREQ(L"Files", m_kiv->GetCategoryName(0));
    EXPECT_EQ(2u, m_kiv->GetLocationType(0, 0));
    EXPECT_EQ(SimpleFile, m_kiv->GetLocationHandlerType(0, 0));
    ASSERT_EQ(2u, m_kiv->GetItemCount(0, 0));
    for (unsigned i = 0; i < 2; ++i) {
        unsigned id = m_kiv->GetItemGlobalID(0, 0, i);
        EXPECT_EQ(i + 1, id);
        EXPECT_STREQ(m_kiv->GetItemTitle(id), m_kiv->GetItemTitle(0, 0, i));
        EXPECT_STREQ(m_kiv->GetItemFilePath(id), m_kiv->GetItemFilePath(0, 0, i));
        EXPECT_STREQ(m_kiv->GetItemFileName(id), m_kiv->GetItemFileName(0, 0, i));
        EXPECT_STREQ(m_kiv->GetItemFileMd5(id), m_kiv->GetItemFileMd5(0, 0, i));
        EXPECT_EQ(m_kiv->GetItemFileSize(id), m_kiv->GetItemFileSize(0, 0, i));
        EXPECT_EQ(m_kiv->GetItemEnabled(id), m_kiv->GetItemEnabled(0, 0, i));
        EXPECT_EQ(m_kiv->GetItemIcon(id), m_kiv->GetItemIcon(0, 0, i));
    }
    EXPECT_STREQ(L"hello.exe", m_kiv->GetItemFileName(1));
    EXPECT_STREQ(L"exe", m_kiv->GetItemFileExtension(1));
    EXPECT_EQ(5u, m_kiv->GetItemFileSize(1));
    EXPECT_STREQ(m_listed.c_str(), m_kiv->GetItemFileMd5(1));
    EXPECT_STREQ(L"C:\\kivtests\\Queries", m_kiv->GetItemLocationPath(1));
    EXPECT_EQ(2u, m_kiv->GetItemLocationType(1));

    const wchar_t* modified = m_kiv->GetItemFileModified(1);
    EXPECT_STREQ(L"2021-03-05 07:04", modified);
    const wchar_t* created = m_kiv->GetItemFileCreated(2);
    EXPECT_EQ(modified, created);  // one buffer: the earlier pointer now shows the later answer
    EXPECT_NE(std::wstring(L"2021-03-05 07:04"), std::wstring(modified));
}

TEST_F(QueriesTest, OutOfRangeQueriesAnswerEmptyAndAddNoItemMapEntry) {
    m_kiv->Collect();
    auto& map = CKivTestAccess::ItemMap(m_kiv);
    EXPECT_EQ(0u, m_kiv->GetLocationCount(5));
    EXPECT_STREQ(L"", m_kiv->GetCategoryName(5));
    EXPECT_STREQ(L"", m_kiv->GetLocationPath(0, 9));
    EXPECT_EQ(0u, m_kiv->GetItemCount(0, 9));
    EXPECT_EQ(0u, m_kiv->GetItemGlobalID(0, 0, 0));
    EXPECT_STREQ(L"", m_kiv->GetItemTitle(0, 0, 7));
    EXPECT_STREQ(L"", m_kiv->GetItemFileCreated(42));
    EXPECT_EQ(0u, m_kiv->GetItemFileSize(42));
    EXPECT_EQ(0, m_kiv->DisableItem(42));
    EXPECT_EQ(0, m_kiv->RestoreItem(42));
    EXPECT_FALSE(m_kiv->IsWhiteListed(42));
    wchar_t key[8] = L"keep";
    wchar_t value[8] = L"keep";
    m_kiv->Ostrel_GetItemRegLocation(42, key, value, 8, 8);
    m_kiv->GoTo(3, 3, 3);
    EXPECT_STREQ(L"keep", key);
    EXPECT_TRUE(map.empty());
}

TEST_F(QueriesTest, WhitelistAnswersByMd5AndProtectedFile) {
    ScratchFolder folder(L"QueriesWhitelist");
    m_handler.files = {folder.AddFile(L"hello.exe", "hello"), folder.AddFile(L"other.exe", "other")};
    m_kiv->Collect();
    EXPECT_TRUE(m_kiv->IsWhiteListed(1));
    EXPECT_FALSE(m_kiv->IsWhiteListed(2));  // Wine protects no file, and its MD5 is not listed
}

TEST_F(QueriesTest, RestoreCallsTheHandlerOnlyForRemovedItems) {
    ScratchFolder folder(L"QueriesRestore");
    m_handler.files = {folder.AddFile(L"a.exe")};
    m_kiv->Collect();
    EXPECT_EQ(1, m_kiv->RestoreItem(1));  // not removed: no handler call
    EXPECT_EQ(0, m_handler.restores);

    m_kiv->ItemMapGet(1)->m_removed = 1;
    EXPECT_EQ(0, m_kiv->RestoreItem(1));
    EXPECT_EQ(1, m_kiv->IsRemoved(1));
    m_handler.restoreResult = 1;
    EXPECT_EQ(1, m_kiv->RestoreItem(1));
    EXPECT_EQ(0, m_kiv->IsRemoved(1));
    EXPECT_EQ(2, m_handler.restores);
}

TEST_F(QueriesTest, BaseHandlerAnswersAndUnknownGoToKind) {
    ScratchFolder folder(L"QueriesBase");
    m_handler.files = {folder.AddFile(L"a.exe")};
    m_handler.gotoKind = static_cast<GotoKind>(7);
    m_kiv->Collect();
    EXPECT_EQ(0, m_kiv->Ostrel_ItemCompatible(1));  // a folder location is not a registry one
    EXPECT_EQ(0, m_kiv->DisableItem(1));
    EXPECT_EQ(1, m_kiv->GetItemEnabled(1));
    EXPECT_EQ(0, m_kiv->RemoveItem(1));
    wchar_t key[16] = L"keep";
    wchar_t value[16] = L"keep";
    m_kiv->Ostrel_GetItemRegLocation(1, key, value, 16, 16);
    EXPECT_STREQ(L"keep", key);
    EXPECT_STREQ(L"keep", value);

    LogCapture log;
    m_kiv->GoTo(0, 0, 0);
    ASSERT_EQ(1u, log.Messages().size());
    EXPECT_EQ("KIV\t\t\t Uknown item no go to method available\n", log.Messages()[0]);
}

// Every query and action leaves ERROR_SUCCESS when it succeeds, and otherwise the
// cause: a dead ID or position, the handler's own code, or the general code for a
// handler that left none (a stale code from before the call is never reported).
TEST_F(QueriesTest, FailuresLeaveTheirCauseAsTheLastError) {
    ScratchFolder folder(L"QueriesLastError");
    m_handler.files = {folder.AddFile(L"a.exe")};
    m_kiv->Collect();
    auto lastErrorAfter = [](auto call) {
        SetLastError(ERROR_ACCESS_DENIED);  // stale
        call();
        return GetLastError();
    };
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lastErrorAfter([&] { m_kiv->GetItemTitle(1); }));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lastErrorAfter([&] { m_kiv->GetItemFileSize(0, 0, 0); }));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              lastErrorAfter([&] { m_kiv->IsWhiteListed(1); }));  // a "no" is an answer
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lastErrorAfter([&] { m_kiv->GetCategoryCount(); }));
    for (DWORD code :
         {lastErrorAfter([&] { m_kiv->GetItemTitle(2); }), lastErrorAfter([&] { m_kiv->GetItemEnabled(0, 0, 1); }),
          lastErrorAfter([&] { m_kiv->GetCategoryName(1); }), lastErrorAfter([&] { m_kiv->GetLocationPath(0, 1); }),
          lastErrorAfter([&] { m_kiv->IsWhiteListed(2); }), lastErrorAfter([&] { m_kiv->EnableItem(9); }),
          lastErrorAfter([&] { m_kiv->GoTo(0, 0, 4); })})
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), code);

    EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), lastErrorAfter([&] { EXPECT_EQ(0, m_kiv->DisableItem(1)); }));
    EXPECT_EQ(1, m_kiv->GetItemEnabled(1));
    m_handler.disableCode = ERROR_FILE_NOT_FOUND;
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              lastErrorAfter([&] { EXPECT_EQ(0, m_kiv->DisableItem(0, 0, 0)); }));
    m_handler.disableResult = 1;
    m_handler.disableCode = ERROR_MORE_DATA;  // a step on the way that failed harmlessly
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lastErrorAfter([&] { EXPECT_EQ(1, m_kiv->DisableItem(1)); }));
    EXPECT_EQ(0, m_kiv->GetItemEnabled(1));
    // The base handler has no removal and no enable.
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), lastErrorAfter([&] { EXPECT_EQ(0, m_kiv->RemoveItem(1)); }));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), lastErrorAfter([&] { EXPECT_EQ(0, m_kiv->EnableItem(1)); }));

    wchar_t key[4] = L"old";
    m_handler.regKey = L"Software\\Too long";
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
              lastErrorAfter([&] { m_kiv->Ostrel_GetItemRegLocation(1, key, nullptr, 4, 0); }));
    EXPECT_STREQ(L"", key);
    m_handler.regKey = L"Run";
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              lastErrorAfter([&] { m_kiv->Ostrel_GetItemRegLocation(1, key, nullptr, 4, 0); }));
    EXPECT_STREQ(L"Run", key);
}
