// Background transfer jobs whose notification command line starts a program.
// Wine's transfer service makes, lists and cancels jobs for real but keeps no
// command line (it answers E_NOTIMPL), so the actions' steps are seen through the
// library's narrow seam over the service (BitsJobService); what Wine does is tested
// against the system's service itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/Records.h"
#include "handlers/steps/BitsJobEntries.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kiv::BitsJob;
using kivtest::KeyExists;
using kivtest::Lower;
using kivtest::ScratchFolder;
using kivtest::ScratchKey;

namespace {

// The service as the tests want it: jobs held in memory, each change recorded, and
// the changes refused with a cause when asked to.
class FakeJobs : public kiv::BitsJobService {
public:
    kiv::Status List(std::vector<BitsJob>& jobs) override {
        jobs = m_jobs;
        return kiv::Status::Ok();
    }
    kiv::Status SetCommandLine(const std::wstring& id, const std::wstring& program,
                               const std::wstring& parameters) override {
        if (refuse) return kiv::Status::Fail(refuse);
        BitsJob* job = Find(id);
        if (!job) return kiv::Status::Fail(ERROR_FILE_NOT_FOUND);
        job->program = program;
        job->parameters = parameters;
        return kiv::Status::Ok();
    }
    kiv::Status Cancel(const std::wstring& id) override {
        if (refuse) return kiv::Status::Fail(refuse);
        if (!Find(id)) return kiv::Status::Fail(ERROR_FILE_NOT_FOUND);
        m_jobs.erase(std::remove_if(m_jobs.begin(), m_jobs.end(), [&](const BitsJob& j) { return j.id == id; }),
                     m_jobs.end());
        return kiv::Status::Ok();
    }
    kiv::Status Create(const BitsJob& job, std::wstring& id) override {
        if (refuse) return kiv::Status::Fail(refuse);
        m_jobs.push_back(job);
        m_jobs.back().id = id = L"{00000000-0000-4000-8000-0000000000" + std::to_wstring(10 + m_jobs.size()) + L"}";
        return kiv::Status::Ok();
    }
    BitsJob* Find(const std::wstring& id) {
        for (BitsJob& job : m_jobs)
            if (job.id == id) return &job;
        return nullptr;
    }
    std::vector<BitsJob> m_jobs;
    DWORD refuse = 0;
};

class BitsJobTest : public kivtest::FacadeTest {
protected:
    void SetUp() override {
        FacadeTest::SetUp();
        kiv::SetBitsJobs(&m_fake);
        m_location = AddLocation(L"HKCU\\" + m_key.Path(), L"", 0, BitsJobs);
    }
    void TearDown() override {
        kiv::SetBitsJobs(nullptr);
        FacadeTest::TearDown();
    }
    std::vector<CKivItem*> Collected() {
        m_kiv->Collect();
        return ItemsOf(m_location);
    }
    ScratchKey m_key{L"BitsJobs"};
    FakeJobs m_fake;
    Location* m_location = nullptr;
};

const wchar_t kJob[] = L"{5E1B3C2A-0000-4000-8000-000000000001}";

}  // namespace

TEST_F(BitsJobTest, AJobWithACommandLineIsListedAndItsCommandLineSwitchedOffAndBackWithACause) {
    ScratchFolder folder(L"BitsTrip");
    const std::wstring program = folder.AddFile(L"notify.exe");
    m_fake.m_jobs = {{kJob, L"KivBits Update", 0, program, L"notify.exe /done", {}},
                     {L"{5E1B3C2A-0000-4000-8000-000000000002}", L"KivBits Plain", 0, L"", L"", {}}};
    std::vector<CKivItem*> items = Collected();
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(L"KivBits Update", items[0]->m_title);
    EXPECT_EQ(Lower(program), Lower(items[0]->m_file.filePath));

    m_fake.refuse = ERROR_ACCESS_DENIED;  // the service refuses: the kept line is taken back out
    EXPECT_EQ(0, m_kiv->DisableItem(items[0]->m_globalId));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_key.Path() + L"\\_disabledByKiv"));
    EXPECT_EQ(program, m_fake.Find(kJob)->program);
    m_fake.refuse = 0;

    ASSERT_EQ(1, m_kiv->DisableItem(items[0]->m_globalId));
    EXPECT_EQ(L"", m_fake.Find(kJob)->program);
    items = Collected();
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(0u, items[0]->m_enabled);
    EXPECT_EQ(Lower(program), Lower(items[0]->m_file.filePath));

    // A command line set meanwhile is never written over.
    m_fake.Find(kJob)->program = L"c:\\other.exe";
    EXPECT_EQ(0, m_kiv->EnableItem(items[0]->m_globalId));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    m_fake.Find(kJob)->program.clear();
    ASSERT_EQ(1, m_kiv->EnableItem(items[0]->m_globalId));
    EXPECT_EQ(program, m_fake.Find(kJob)->program);
    EXPECT_EQ(L"notify.exe /done", m_fake.Find(kJob)->parameters);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_key.Path() + L"\\_disabledByKiv"));
}

TEST_F(BitsJobTest, ARemovedJobIsKeptWithItsFilesAndRestoredAsANewJob) {
    ScratchFolder folder(L"BitsRemove");
    const std::wstring program = folder.AddFile(L"notify.exe");
    const std::vector<std::pair<std::wstring, std::wstring>> files = {
        {L"http://example.invalid/" + std::wstring(600, L'a'), L"c:\\kivtests\\a.bin"},  // longer than a path
        {L"http://example.invalid/b.bin", L"c:\\b.bin"}};
    m_fake.m_jobs = {{kJob, L"KivBits Fetch", 2, program, L"", files}};
    std::vector<CKivItem*> items = Collected();
    ASSERT_EQ(1u, items.size());

    m_fake.refuse = ERROR_ACCESS_DENIED;
    EXPECT_EQ(0, m_kiv->RemoveItem(items[0]->m_globalId));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_key.Path() + L"\\_removedByKiv"));
    m_fake.refuse = 0;
    ASSERT_EQ(1, m_kiv->RemoveItem(items[0]->m_globalId));
    EXPECT_TRUE(m_fake.m_jobs.empty());

    items = Collected();
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(1u, items[0]->m_removed);
    ASSERT_EQ(1, m_kiv->RestoreItem(items[0]->m_globalId));
    ASSERT_EQ(1u, m_fake.m_jobs.size());
    const BitsJob& back = m_fake.m_jobs[0];
    EXPECT_EQ(L"KivBits Fetch", back.name);
    EXPECT_EQ(2u, back.type);
    EXPECT_EQ(program, back.program);
    EXPECT_EQ(files, back.files);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_key.Path() + L"\\_removedByKiv"));
}

TEST(SystemBitsJobs, WinesServiceListsAndCancelsARealJobButKeepsNoCommandLine) {
    ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    {
        kiv::BitsJobService& system = kiv::CurrentBitsJobs();
        BitsJob wanted{L"", L"KivBits Real", 0, L"", L"", {{L"http://example.invalid/r.bin", L"c:\\kivtests\\r.bin"}}};
        std::wstring id;
        // Making a job sets its command line only when one is given; none is here.
        ASSERT_TRUE(system.Create(wanted, id)) << "the transfer service cannot make a job";
        std::vector<BitsJob> jobs;
        ASSERT_TRUE(system.List(jobs));
        auto found = std::find_if(jobs.begin(), jobs.end(), [&](const BitsJob& j) { return j.id == id; });
        ASSERT_NE(jobs.end(), found);
        EXPECT_EQ(L"KivBits Real", found->name);
        EXPECT_EQ(L"", found->program);
        EXPECT_EQ(wanted.files, found->files);

        const kiv::Status set = system.SetCommandLine(id, L"c:\\windows\\notepad.exe", L"notepad.exe");
        EXPECT_EQ(static_cast<DWORD>(E_NOTIMPL), set.Code()) << "Wine 8 keeps no command line";

        // Wine keeps a cancelled job in its list; a second cancel is refused.
        ASSERT_TRUE(system.Cancel(id));
        EXPECT_FALSE(system.Cancel(id));
    }
    CoUninitialize();
}
