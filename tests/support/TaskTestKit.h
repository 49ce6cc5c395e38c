// Work items of a test's own, made through the real Task Scheduler 1.0 interfaces.
// The calling thread has initialised COM.
#pragma once

#include <windows.h>
#include <mstask.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

#include "handlers/TaskSchedulerClasses.h"
#include "platform/Handles.h"

namespace kivtest {

// What a work item's flags read as when it cannot be opened.
constexpr DWORD kNoTask = 0xFFFFFFFF;

inline kiv::ComPtr<ITaskScheduler> Scheduler() {
    kiv::ComPtr<ITaskScheduler> scheduler;
    EXPECT_HRESULT_SUCCEEDED(CoCreateInstance(kiv::kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                              kiv::kIidTaskScheduler, scheduler.PutVoid()));
    return scheduler;
}

// A work item of the test's own, made through the scheduler and deleted when the
// test ends (and before it is made, should an earlier run have left it behind).
// Work items are opened and deleted by their name without ".job", which every
// implementation accepts.
class TestTask {
public:
    TestTask(const std::wstring& name, const std::wstring& program, DWORD flags) : m_name(name) {
        Delete();
        Create(program, flags);
    }
    ~TestTask() { Delete(); }
    TestTask(const TestTask&) = delete;
    TestTask& operator=(const TestTask&) = delete;

    // The name the scheduler's enumeration gives it.
    std::wstring Listed() const { return m_name + L".job"; }

    DWORD Flags() const {
        kiv::ComPtr<ITaskScheduler> scheduler = Scheduler();
        kiv::ComPtr<ITask> task;
        DWORD flags = 0;
        if (!scheduler) return kNoTask;
        HRESULT hr = scheduler->Activate(m_name.c_str(), kiv::kIidTask, reinterpret_cast<IUnknown**>(task.Put()));
        return SUCCEEDED(hr) && SUCCEEDED(task->GetFlags(&flags)) ? flags : kNoTask;
    }

private:
    void Create(const std::wstring& program, DWORD flags) {
        kiv::ComPtr<ITaskScheduler> scheduler = Scheduler();
        ASSERT_TRUE(scheduler);
        kiv::ComPtr<ITask> task;
        ASSERT_HRESULT_SUCCEEDED(scheduler->NewWorkItem(m_name.c_str(), kiv::kClsidTask, kiv::kIidTask,
                                                        reinterpret_cast<IUnknown**>(task.Put())));
        ASSERT_HRESULT_SUCCEEDED(task->SetApplicationName(program.c_str()));
        ASSERT_HRESULT_SUCCEEDED(task->SetFlags(flags));
        kiv::ComPtr<IPersistFile> file;
        ASSERT_HRESULT_SUCCEEDED(task->QueryInterface(kiv::kIidPersistFile, file.PutVoid()));
        ASSERT_HRESULT_SUCCEEDED(file->Save(nullptr, TRUE));
    }
    void Delete() {
        if (kiv::ComPtr<ITaskScheduler> scheduler = Scheduler()) scheduler->Delete(m_name.c_str());
    }
    std::wstring m_name;
};

}  // namespace kivtest
