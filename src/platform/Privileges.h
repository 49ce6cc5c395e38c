// Privileges switched on for one call and off again. They are turned on in a copy
// of the process's token that the calling thread acts with while the owner lives,
// so no other thread of the host ever runs with them and two owners on two threads
// cannot undo each other's.
#pragma once

#include <windows.h>

#include <initializer_list>

#include "platform/Status.h"

namespace kiv {

class ThreadPrivileges {
public:
    // At most four privileges by name (SE_RESTORE_NAME, ...). A thread that already
    // acts for another user is left as it is: its own token decides.
    explicit ThreadPrivileges(std::initializer_list<const wchar_t*> names);
    ~ThreadPrivileges();
    ThreadPrivileges(const ThreadPrivileges&) = delete;
    ThreadPrivileges& operator=(const ThreadPrivileges&) = delete;

    // ERROR_PRIVILEGE_NOT_HELD when the process's token does not hold them all.
    const Status& Held() const { return m_status; }

private:
    bool m_impersonating = false;
    Status m_status = Status::Ok();
};

}  // namespace kiv
