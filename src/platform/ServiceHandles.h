// Owner for handles of the service control manager and of the services opened
// through it, so that both are closed on every path out of an operation.
#pragma once

#include <windows.h>
#include <winsvc.h>

#include "platform/Handles.h"

namespace kiv {

struct ServiceHandleTraits {
    static SC_HANDLE Invalid() noexcept { return nullptr; }
    static void Close(SC_HANDLE handle) noexcept { CloseServiceHandle(handle); }
};

using UniqueService = UniqueResource<SC_HANDLE, ServiceHandleTraits>;

}  // namespace kiv
