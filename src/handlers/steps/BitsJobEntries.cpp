#include "handlers/steps/BitsJobEntries.h"

#include <windows.h>
#include <objbase.h>
#include <bits.h>
#include <bits1_5.h>

#include "core/Records.h"
#include "handlers/steps/MarkerEntries.h"
#include "handlers/steps/RegistryTree.h"
#include "handlers/steps/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "platform/Handles.h"
#include "platform/RegPath.h"
#include "platform/TaskMemory.h"
#include "platform/Text.h"

namespace kiv {
namespace {

constexpr CLSID kClsidBitsManager = {0x4991d34b, 0x80a1, 0x4291, {0x83, 0xb6, 0x33, 0x28, 0x36, 0x6b, 0x90, 0x97}};
constexpr IID kIidBitsManager = {0x5ce34c0d, 0x0dc9, 0x4c1f, {0x89, 0x7c, 0xda, 0xa1, 0xb7, 0x8c, 0xee, 0x7c}};
constexpr IID kIidBitsJob2 = {0x54b50739, 0x686f, 0x45eb, {0x9d, 0xff, 0xd6, 0xa9, 0xa0, 0xfa, 0xa9, 0xaf}};

const wchar_t kNameValue[] = L"DisplayName";
const wchar_t kTypeValue[] = L"Type";
const wchar_t kProgramValue[] = L"Program";
const wchar_t kParametersValue[] = L"Parameters";
const wchar_t kFileValue[] = L"File";
const size_t kMaxFiles = 1000;

std::wstring TakeString(wchar_t* text) {
    UniqueTaskString owned(text);
    return owned ? std::wstring(owned.Get()) : std::wstring();
}

std::wstring GuidText(const GUID& id) {
    wchar_t text[40] = {};
    return StringFromGUID2(id, text, 40) ? std::wstring(text) : std::wstring();
}

// ---- the system's transfer service ----

class SystemBitsJobs : public BitsJobService {
public:
    Status List(std::vector<BitsJob>& jobs) override {
        ComPtr<IBackgroundCopyManager> manager;
        Status step = Open(manager);
        if (!step) return step;
        ComPtr<IEnumBackgroundCopyJobs> listed;
        // Every user's jobs need an administrator; anyone else reads their own.
        HRESULT hr = manager->EnumJobs(BG_JOB_ENUM_ALL_USERS, listed.Put());
        if (hr == E_ACCESSDENIED) hr = manager->EnumJobs(0, listed.Put());
        if (FAILED(hr)) return Status::FromHresult(hr);
        for (;;) {
            ComPtr<IBackgroundCopyJob> job;
            ULONG fetched = 0;
            if (listed->Next(1, job.Put(), &fetched) != S_OK || fetched != 1) break;
            BitsJob record;
            if (Read(job.Get(), record)) jobs.push_back(std::move(record));
        }
        return Status::Ok();
    }

    Status SetCommandLine(const std::wstring& id, const std::wstring& program,
                          const std::wstring& parameters) override {
        ComPtr<IBackgroundCopyJob2> job;
        Status step = Find(id, job);
        if (!step) return step;
        // Both null takes the notification away.
        return Status::FromHresult(program.empty() ? job->SetNotifyCmdLine(nullptr, nullptr)
                                                   : job->SetNotifyCmdLine(program.c_str(), parameters.c_str()));
    }

    Status Cancel(const std::wstring& id) override {
        ComPtr<IBackgroundCopyJob2> job;
        Status step = Find(id, job);
        return step ? Status::FromHresult(job->Cancel()) : step;
    }

    Status Create(const BitsJob& record, std::wstring& id) override {
        ComPtr<IBackgroundCopyManager> manager;
        Status step = Open(manager);
        if (!step) return step;
        GUID made = {};
        ComPtr<IBackgroundCopyJob> job;
        HRESULT hr = manager->CreateJob(record.name.c_str(), static_cast<BG_JOB_TYPE>(record.type), &made, job.Put());
        if (FAILED(hr)) return Status::FromHresult(hr);
        ComPtr<IBackgroundCopyJob2> job2;
        for (const auto& file : record.files)
            if (SUCCEEDED(hr)) hr = job->AddFile(file.first.c_str(), file.second.c_str());
        if (SUCCEEDED(hr)) hr = job->QueryInterface(kIidBitsJob2, job2.PutVoid());
        if (SUCCEEDED(hr) && !record.program.empty())
            hr = job2->SetNotifyCmdLine(record.program.c_str(), record.parameters.c_str());
        if (SUCCEEDED(hr)) hr = job->Resume();
        if (FAILED(hr)) {
            job->Cancel();  // a job half made is not left behind
            return Status::FromHresult(hr);
        }
        id = GuidText(made);
        return Status::Ok();
    }

private:
    static Status Open(ComPtr<IBackgroundCopyManager>& manager) {
        return Status::FromHresult(
            CoCreateInstance(kClsidBitsManager, nullptr, CLSCTX_LOCAL_SERVER, kIidBitsManager, manager.PutVoid()));
    }

    static Status Find(const std::wstring& id, ComPtr<IBackgroundCopyJob2>& found) {
        GUID guid = {};
        if (FAILED(CLSIDFromString(id.c_str(), &guid))) return Status::Fail(ERROR_INVALID_PARAMETER);
        ComPtr<IBackgroundCopyManager> manager;
        Status step = Open(manager);
        ComPtr<IBackgroundCopyJob> job;
        if (step) step = Status::FromHresult(manager->GetJob(guid, job.Put()));
        if (step) step = Status::FromHresult(job->QueryInterface(kIidBitsJob2, found.PutVoid()));
        return step;
    }

    static bool Read(IBackgroundCopyJob* job, BitsJob& record) {
        GUID guid = {};
        wchar_t* name = nullptr;
        BG_JOB_TYPE type = BG_JOB_TYPE_DOWNLOAD;
        // The name last: it is the one answer that must be freed.
        if (FAILED(job->GetId(&guid)) || FAILED(job->GetType(&type)) || FAILED(job->GetDisplayName(&name)))
            return false;
        record.id = GuidText(guid);
        record.name = TakeString(name);
        record.type = static_cast<DWORD>(type);
        ComPtr<IBackgroundCopyJob2> job2;
        wchar_t *program = nullptr, *parameters = nullptr;
        if (SUCCEEDED(job->QueryInterface(kIidBitsJob2, job2.PutVoid())) &&
            SUCCEEDED(job2->GetNotifyCmdLine(&program, &parameters))) {
            record.program = TakeString(program);
            record.parameters = TakeString(parameters);
        }
        ComPtr<IEnumBackgroundCopyFiles> files;
        if (SUCCEEDED(job->EnumFiles(files.Put()))) {
            for (size_t n = 0; n < kMaxFiles; ++n) {
                ComPtr<IBackgroundCopyFile> file;
                ULONG fetched = 0;
                wchar_t *remote = nullptr, *local = nullptr;
                if (files->Next(1, file.Put(), &fetched) != S_OK || fetched != 1) break;
                if (FAILED(file->GetRemoteName(&remote))) continue;
                std::wstring remoteText = TakeString(remote);
                if (SUCCEEDED(file->GetLocalName(&local))) record.files.emplace_back(remoteText, TakeString(local));
            }
        }
        return !record.id.empty();
    }
};

SystemBitsJobs g_system;
BitsJobService* g_jobs = &g_system;

// ---- kept definitions ----

std::wstring KeptPath(const Location* location, const wchar_t* store, const std::wstring& id) {
    return location->m_path + L"\\" + store + L"\\" + id;
}

Status WriteText(HKEY key, const wchar_t* name, const std::wstring& text) {
    return Status::FromRegistry(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                               static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
}

std::wstring ReadText(HKEY key, const wchar_t* name) {
    DWORD bytes = 0;
    const DWORD flags = RRF_RT_REG_SZ | RRF_NOEXPAND;
    if (RegGetValueW(key, nullptr, name, flags, nullptr, nullptr, &bytes) != ERROR_SUCCESS) return L"";
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegGetValueW(key, nullptr, name, flags, nullptr, text.data(), &bytes) != ERROR_SUCCESS) return L"";
    return text.data();
}

void Forget(const Location* location, const wchar_t* store, const std::wstring& id) {
    {
        UniqueHKey parent;
        if (OpenKeyToChange(location->m_root, location->m_path + L"\\" + store, parent))
            DeleteRegTree(parent.Get(), id);
    }
    RemoveKeyIfEmpty(location->m_root, location->m_path + L"\\" + store, 0);
}

// A definition that could not be written whole is taken out again, so that no
// half of one is listed beside the live job; one that was there before is left.
Status Keep(const Location* location, const wchar_t* store, const BitsJob& job, bool whole) {
    UniqueHKey key;
    DWORD disposition = 0;
    Status step = Status::FromRegistry(RegCreateKeyExW(location->m_root, KeptPath(location, store, job.id).c_str(), 0,
                                                       nullptr, 0, kKeyChangeRights, nullptr, key.Put(), &disposition));
    if (step) step = WriteText(key.Get(), kNameValue, job.name);
    if (step) step = WriteText(key.Get(), kProgramValue, job.program);
    if (step) step = WriteText(key.Get(), kParametersValue, job.parameters);
    if (step && whole)
        step = Status::FromRegistry(RegSetValueExW(key.Get(), kTypeValue, 0, REG_DWORD,
                                                   reinterpret_cast<const BYTE*>(&job.type), sizeof(job.type)));
    for (size_t n = 0; whole && step && n < job.files.size(); ++n) {
        std::wstring pair = job.files[n].first + L'\0' + job.files[n].second + L'\0' + L'\0';
        step = Status::FromRegistry(RegSetValueExW(key.Get(), (kFileValue + std::to_wstring(n)).c_str(), 0,
                                                   REG_MULTI_SZ, reinterpret_cast<const BYTE*>(pair.data()),
                                                   static_cast<DWORD>(pair.size() * sizeof(wchar_t))));
    }
    if (!step && disposition == REG_CREATED_NEW_KEY) {
        key.Reset();
        Forget(location, store, job.id);
    }
    return step;
}

bool ReadKept(HKEY key, const std::wstring& id, BitsJob& job) {
    job.id = id;
    job.name = ReadText(key, kNameValue);
    job.program = ReadText(key, kProgramValue);
    job.parameters = ReadText(key, kParametersValue);
    DWORD type = 0, bytes = sizeof(type);
    if (RegGetValueW(key, nullptr, kTypeValue, RRF_RT_REG_DWORD, nullptr, &type, &bytes) == ERROR_SUCCESS)
        job.type = type;
    // A pair is as long as its remote name (a URL may be far longer than a path),
    // read at its own size with two ending zeros past what the registry gives.
    for (size_t n = 0; n < kMaxFiles; ++n) {
        const std::wstring name = kFileValue + std::to_wstring(n);
        DWORD size = 0;
        if (RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::vector<wchar_t> pair(size / sizeof(wchar_t) + 4, L'\0');
        size = static_cast<DWORD>((pair.size() - 2) * sizeof(wchar_t));
        if (RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_MULTI_SZ, nullptr, pair.data(), &size) != ERROR_SUCCESS)
            break;
        const std::wstring remote = pair.data();
        job.files.emplace_back(remote, std::wstring(pair.data() + remote.size() + 1));
    }
    return !job.program.empty();
}

void AddItem(Location* location, const BitsJob& job, unsigned enabled, unsigned removed) {
    std::wstring file = job.program;
    if (file.empty() || !ResolveEntry(file, 0)) return;
    auto* item =
        new CKivItem(job.name.empty() ? job.id : job.name, file, location, GotoKind::None, 0, enabled, removed);
    item->m_regNames.push_back(job.id);
}

Status LiveJob(const std::wstring& id, BitsJob& found) {
    std::vector<BitsJob> jobs;
    const Status step = g_jobs->List(jobs);
    if (!step) return step;
    for (BitsJob& job : jobs)
        if (EqualsNoCase(job.id, id)) {
            found = std::move(job);
            return Status::Ok();
        }
    return Status::Fail(ERROR_FILE_NOT_FOUND);
}

}  // namespace

BitsJobService& CurrentBitsJobs() { return *g_jobs; }

BitsJobService* SetBitsJobs(BitsJobService* jobs) {
    BitsJobService* previous = g_jobs;
    g_jobs = jobs ? jobs : &g_system;
    return previous;
}

void CollectBitsJobs(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (!location || wow64) return;
    if (enabledPass) {
        std::vector<BitsJob> jobs;
        if (!g_jobs->List(jobs)) return;
        for (const BitsJob& job : jobs) AddItem(location, job, 1, 0);
        return;
    }
    ForEachKeptEntry(location, [&](HKEY store, const std::wstring& id, bool removed) {
        UniqueHKey key;
        BitsJob job;
        if (OpenKeyToRead(store, id, key) && ReadKept(key.Get(), id, job)) AddItem(location, job, 0, removed ? 1 : 0);
    });
}

Status DisableBitsJob(CKivItem* item) {
    if (!NamesSubkey(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    BitsJob job;
    Status step = LiveJob(item->m_regNames[0], job);
    if (step && job.program.empty()) step = Status::Fail(ERROR_FILE_NOT_FOUND);
    if (step) step = Keep(item->m_location, kMarker, job, false);
    if (!step) return step;
    step = g_jobs->SetCommandLine(job.id, L"", L"");
    if (!step) Forget(item->m_location, kMarker, job.id);  // the command line stays live
    return step;
}

Status EnableBitsJob(CKivItem* item) {
    if (!NamesSubkey(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    UniqueHKey key;
    BitsJob kept, live;
    Status step = OpenKeyToRead(location->m_root, KeptPath(location, kMarker, item->m_regNames[0]), key);
    if (step && !ReadKept(key.Get(), item->m_regNames[0], kept)) step = Status::Fail(ERROR_INVALID_DATA);
    if (step) step = LiveJob(kept.id, live);
    if (step && !live.program.empty() && (live.program != kept.program || live.parameters != kept.parameters))
        step = Status::Fail(ERROR_ALREADY_EXISTS);
    if (step && live.program.empty()) step = g_jobs->SetCommandLine(kept.id, kept.program, kept.parameters);
    if (!step) return step;
    key.Reset();
    Forget(location, kMarker, kept.id);
    return Status::Ok();
}

Status RemoveBitsJob(CKivItem* item) {
    if (!NamesSubkey(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    if (item->m_removed || !item->m_enabled) return Status::Fail(ERROR_NOT_SUPPORTED);
    BitsJob job;
    Status step = LiveJob(item->m_regNames[0], job);
    if (step) step = Keep(item->m_location, kRemovedMarker, job, true);
    if (!step) return step;
    step = g_jobs->Cancel(job.id);
    if (!step) Forget(item->m_location, kRemovedMarker, job.id);
    else item->m_removed = 1;
    return step;
}

Status RestoreBitsJob(CKivItem* item) {
    if (!NamesSubkey(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    UniqueHKey key;
    BitsJob kept;
    std::wstring made;
    Status step = OpenKeyToRead(location->m_root, KeptPath(location, kRemovedMarker, item->m_regNames[0]), key);
    if (step && !ReadKept(key.Get(), item->m_regNames[0], kept)) step = Status::Fail(ERROR_INVALID_DATA);
    if (step) step = g_jobs->Create(kept, made);
    if (!step) return step;
    key.Reset();
    Forget(location, kRemovedMarker, kept.id);
    item->m_regNames[0] = made;
    return Status::Ok();
}

}  // namespace kiv
