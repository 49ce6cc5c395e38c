#include "platform/Privileges.h"

#include "platform/Handles.h"

namespace kiv {

ThreadPrivileges::ThreadPrivileges(std::initializer_list<const wchar_t*> names) {
    UniqueHandle existing;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, existing.Put())) return;
    struct {
        DWORD count;
        LUID_AND_ATTRIBUTES privileges[4];
    } wanted = {0, {}};
    for (const wchar_t* name : names) {
        if (wanted.count == 4) {
            m_status = Status::Fail(ERROR_INVALID_PARAMETER);
            return;
        }
        if (!LookupPrivilegeValueW(nullptr, name, &wanted.privileges[wanted.count].Luid)) {
            m_status = Status::FromLastError();
            return;
        }
        wanted.privileges[wanted.count++].Attributes = SE_PRIVILEGE_ENABLED;
    }
    if (!ImpersonateSelf(SecurityImpersonation)) {
        m_status = Status::FromLastError();
        return;
    }
    m_impersonating = true;
    UniqueHandle token;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, TRUE, token.Put()) ||
        !AdjustTokenPrivileges(token.Get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&wanted), 0, nullptr, nullptr)) {
        m_status = Status::FromLastError();
        return;
    }
    // Success with ERROR_NOT_ALL_ASSIGNED: the token does not hold them all.
    if (GetLastError() == ERROR_NOT_ALL_ASSIGNED) m_status = Status::Fail(ERROR_PRIVILEGE_NOT_HELD);
}

ThreadPrivileges::~ThreadPrivileges() {
    if (m_impersonating) RevertToSelf();
}

}  // namespace kiv
