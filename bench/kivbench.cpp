// Measures what a collection costs: the own MD5 over one file, a whole Collect
// through the catalogue beside this program, the window's way of showing rows
// while it runs, and each file fact on its own; and makes scheduled tasks.
// Prints figures only; bench/run.sh compares them with native tools.
#include <windows.h>
#include <mstask.h>
#include <objbase.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ItemReader.h"
#include "handlers/TaskSchedulerClasses.h"

#include "iteminfo/FileFacts.h"
#include "iteminfo/FileVersion.h"
#include "iteminfo/Md5.h"
#include "kiv.h"
#include "platform/Handles.h"
#include "platform/Log.h"
#include "platform/ThreadScratch.h"

namespace {

double Now() {
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int Md5Command(const wchar_t* path) {
    const double start = Now();
    const std::wstring digest = kiv::FileMd5(path);
    const double seconds = Now() - start;
    std::wprintf(L"md5 %ls seconds %.4f\n", digest.c_str(), seconds);
    return digest.empty() ? 1 : 0;
}

// Runs Collect `runs` times and reports each run: the items found, how many of
// them carry a digest, and the seconds the run took.
int CollectCommand(int runs) {
    CKiv* kiv = CKiv::Init();
    if (!kiv) return 1;
    for (int run = 0; run < runs; ++run) {
        const double start = Now();
        kiv->Collect();
        const double seconds = Now() - start;
        unsigned items = 0, digests = 0, versioned = 0;
        for (unsigned c = 0; c < kiv->GetCategoryCount(); ++c)
            for (unsigned l = 0; l < kiv->GetLocationCount(c); ++l)
                for (unsigned i = 0; i < kiv->GetItemCount(c, l); ++i, ++items) {
                    const unsigned id = kiv->GetItemGlobalID(c, l, i);
                    if (*kiv->GetItemFileMd5(id)) ++digests;
                    if (*kiv->GetItemFilePublisher(id)) ++versioned;
                }
        std::wprintf(L"collect items %u digests %u versioned %u seconds %.4f\n", items, digests, versioned, seconds);
    }
    CKiv::Dispose();
    return 0;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder, size_t limit) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW data = {};
    kiv::UniqueFind find(FindFirstFileW((folder + L"\\*.exe").c_str(), &data));
    if (!find) return files;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(folder + L"\\" + data.cFileName);
    } while (files.size() < limit && FindNextFileW(find.Get(), &data));
    return files;
}

template <typename Fact>
void TimeFact(const wchar_t* name, const std::vector<std::wstring>& files, Fact fact) {
    const double start = Now();
    for (const std::wstring& path : files) fact(path);
    const double seconds = Now() - start;
    std::wprintf(L"fact %-8ls ms/entry %.4f\n", name, 1000.0 * seconds / static_cast<double>(files.size()));
}

// Each fact in a pass of its own over the same files, after one pass that brings
// them into the cache.
int FactsCommand(const std::wstring& folder, size_t limit) {
    // The buffers a collecting thread keeps from file to file.
    kiv::ThreadScratch scratch;
    const std::vector<std::wstring> files = FilesIn(folder, limit);
    if (files.empty()) return 1;
    for (const std::wstring& path : files) kiv::FileMd5(path.c_str());
    TimeFact(L"open", files, [](const std::wstring& path) {
        kiv::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    });
    TimeFact(L"md5", files, [](const std::wstring& path) { kiv::FileMd5(path.c_str()); });
    TimeFact(L"size", files, [](const std::wstring& path) { kiv::FileSize(path); });
    TimeFact(L"version", files, [](const std::wstring& path) {
        CFileVersion version;
        version.Read(path.c_str());
    });
    TimeFact(L"icon", files, [](const std::wstring& path) {
        HICON icon = nullptr;
        ExtractIconExW(path.c_str(), 0, nullptr, &icon, 1);
        kiv::UniqueIcon owned(icon);
    });
    TimeFact(L"times", files, [](const std::wstring& path) {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    });
    TimeFact(L"logline", files, [](const std::wstring& path) {
        kiv::LogLine(L"KIV\t Unable to retrieve file info (shortcut target used), file path: %s\n", path.c_str());
    });
    TimeFact(L"fill", files, [](const std::wstring& path) {
        KivFileFacts facts;
        kiv::FillFileFacts(facts, path);
        kiv::ReleaseFileFacts(facts);
    });
    std::wprintf(L"files %u\n", static_cast<unsigned>(files.size()));
    return 0;
}

// What the window does: the collection on a worker thread, and every 100 ms (the
// window's timer) the rows of the locations read so far; then, once it has ended,
// every row read again. Reports when the first rows came and when the last did.
int WindowCommand(int runs) {
    CKiv* kiv = CKiv::Init();
    if (!kiv) return 1;
    for (int run = 0; run < runs; ++run) {
        const double start = Now();
        std::atomic<bool> done{false};
        std::thread worker([kiv, &done] {
            const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            kiv->Collect();
            if (SUCCEEDED(com)) CoUninitialize();
            done = true;
        });
        std::set<unsigned> known;
        size_t rows = 0;
        double first = 0;
        for (bool last = false; !last;) {
            last = done;
            ReadNewItems(kiv, known, [&rows](unsigned, ItemRow&&) { ++rows; });
            if (rows && first == 0) first = Now() - start;
            if (!last) Sleep(100);
        }
        worker.join();
        ReadOptions options;
        options.signatures = false;
        rows = ReadItems(kiv, options).size();
        std::wprintf(L"window rows %u first %.4f seconds %.4f\n", static_cast<unsigned>(rows), first, Now() - start);
    }
    CKiv::Dispose();
    return 0;
}

// Makes `count` work items through the Task Scheduler 1.0 interfaces, each
// starting the program; the ones made before are replaced.
int TasksCommand(int count, const wchar_t* program) {
    kiv::ComPtr<ITaskScheduler> scheduler;
    if (FAILED(CoCreateInstance(kiv::kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kiv::kIidTaskScheduler,
                                scheduler.PutVoid())))
        return 1;
    int made = 0;
    for (int i = 0; i < count; ++i) {
        wchar_t name[32];
        std::swprintf(name, 32, L"KivRealTask%02d", i);
        scheduler->Delete(name);
        kiv::ComPtr<ITask> task;
        kiv::ComPtr<IPersistFile> file;
        if (SUCCEEDED(scheduler->NewWorkItem(name, kiv::kClsidTask, kiv::kIidTask,
                                             reinterpret_cast<IUnknown**>(task.Put()))) &&
            SUCCEEDED(task->SetApplicationName(program)) && SUCCEEDED(task->SetFlags(i % 5 ? 0 : TASK_FLAG_DISABLED)) &&
            SUCCEEDED(task->QueryInterface(kiv::kIidPersistFile, file.PutVoid())) &&
            SUCCEEDED(file->Save(nullptr, TRUE)))
            ++made;
    }
    std::wprintf(L"tasks %d\n", made);
    return made == count ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // A host initialises COM on the collecting thread; shortcuts need it.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int rc = 2;
    if (argc == 3 && std::wcscmp(argv[1], L"md5") == 0) rc = Md5Command(argv[2]);
    else if (argc == 3 && std::wcscmp(argv[1], L"collect") == 0) rc = CollectCommand(_wtoi(argv[2]));
    else if (argc == 4 && std::wcscmp(argv[1], L"facts") == 0) rc = FactsCommand(argv[2], _wtoi(argv[3]));
    else if (argc == 3 && std::wcscmp(argv[1], L"window") == 0) rc = WindowCommand(_wtoi(argv[2]));
    else if (argc == 4 && std::wcscmp(argv[1], L"tasks") == 0) rc = TasksCommand(_wtoi(argv[2]), argv[3]);
    else
        std::fwprintf(
            stderr, L"Usage: kivbench md5 FILE | collect RUNS | facts FOLDER LIMIT | window RUNS | tasks N PROGRAM\n");
    CoUninitialize();
    return rc;
}
