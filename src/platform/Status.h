// The outcome of a step that can fail for a reason the system can name. A step
// that talks to the registry, the file system, the service manager or COM keeps
// the code of the first call that failed, so the host can tell "access denied"
// from "not found" through the thread's last error.
#pragma once

#include <windows.h>

namespace kiv {

class Status {
public:
    constexpr Status() noexcept : m_code(ERROR_SUCCESS) {}

    static constexpr Status Ok() noexcept { return Status(); }
    // A failure always carries a code: a step that failed without one from the
    // system reports the library's general failure rather than success.
    static constexpr Status Fail(DWORD code) noexcept {
        return Status(code == ERROR_SUCCESS ? static_cast<DWORD>(ERROR_GEN_FAILURE) : code);
    }
    // A registry call's result (they return their code instead of setting it).
    static constexpr Status FromRegistry(LONG result) noexcept {
        return result == ERROR_SUCCESS ? Ok() : Fail(static_cast<DWORD>(result));
    }
    static Status FromLastError() noexcept { return Fail(GetLastError()); }
    // A COM result: a Win32 code wrapped in an HRESULT is unwrapped, any other
    // failure is kept as the HRESULT itself (FormatMessage knows both).
    static constexpr Status FromHresult(HRESULT hr) noexcept {
        return SUCCEEDED(hr)                            ? Ok()
               : HRESULT_FACILITY(hr) == FACILITY_WIN32 ? Fail(static_cast<DWORD>(HRESULT_CODE(hr)))
                                                        : Fail(static_cast<DWORD>(hr));
    }

    constexpr bool Succeeded() const noexcept { return m_code == ERROR_SUCCESS; }
    explicit constexpr operator bool() const noexcept { return Succeeded(); }
    constexpr DWORD Code() const noexcept { return m_code; }

    // Publishes the outcome as the thread's last error and answers the handler
    // contract's result: 1 on success, 0 on failure.
    int Report() const noexcept {
        SetLastError(m_code);
        return Succeeded() ? 1 : 0;
    }

private:
    explicit constexpr Status(DWORD code) noexcept : m_code(code) {}
    DWORD m_code;
};

}  // namespace kiv
