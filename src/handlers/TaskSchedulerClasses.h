// The Task Scheduler's classes and interfaces of both generations as the module
// uses them, and how the scheduled task handler obtains the 2.0 service object.
#pragma once

#include <windows.h>

#include <string>

struct ITaskService;

namespace kiv {

// Task Scheduler 2.0: the service class, its interface, and the executable action.
constexpr CLSID kClsidTaskService = {0x0F87369F, 0xA4E5, 0x4CFC, {0xBD, 0x3E, 0x73, 0xE6, 0x15, 0x45, 0x72, 0xDD}};
constexpr IID kIidTaskService = {0x2FABA4C7, 0x4DA9, 0x4013, {0x96, 0x97, 0x20, 0xCC, 0x3F, 0xD4, 0x0F, 0x85}};
constexpr IID kIidExecAction = {0x4C3D624D, 0xFD6B, 0x49A3, {0xB9, 0xB7, 0x09, 0xCB, 0x3C, 0xD3, 0xF0, 0x47}};

// Task Scheduler 1.0: the scheduler, a work item's class and interface, and the
// interface that saves a work item.
constexpr CLSID kClsidTaskScheduler = {0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr IID kIidTaskScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr CLSID kClsidTask = {0x148BD520, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr IID kIidTask = {0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr IID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Yields a new 2.0 service object (not yet connected), answering as CoCreateInstance.
using TaskServiceFactory = HRESULT (*)(ITaskService** service);

// Replaces how the handler obtains the 2.0 service and returns the way replaced;
// the default creates the scheduler's class in process. Only tests do this: the
// systems they run on list no 2.0 task, so they hand the handler a service of their own.
TaskServiceFactory SetTaskServiceFactory(TaskServiceFactory factory);

// A new 2.0 service object obtained the way the handler obtains it.
HRESULT NewTaskService(ITaskService** service);

// The file Task Scheduler 1.0 keeps a work item in: the system's Tasks folder and
// the name, with ".job" added when the name lacks it (a task named by the 2.0
// interfaces). Empty when the folder cannot be expanded.
std::wstring WorkItemFile(const std::wstring& name);

}  // namespace kiv
