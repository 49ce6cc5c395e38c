// Services of a test's own, made through the service manager.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/ServiceHandles.h"

namespace kivtest {

// A service of the test's own, deleted when the test ends however it ends (and
// before it is made, should an earlier run have left it behind).
class TestService {
public:
    TestService(const std::wstring& name, DWORD type, DWORD start, const std::wstring& image) : m_name(name) {
        Delete();
        kiv::UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        kiv::UniqueService service(CreateServiceW(manager.Get(), name.c_str(), DisplayName().c_str(),
                                                  SERVICE_ALL_ACCESS, type, start, SERVICE_ERROR_NORMAL, image.c_str(),
                                                  nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_TRUE(service.Valid()) << "cannot create service " << std::string(name.begin(), name.end());
    }
    ~TestService() { Delete(); }
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    const std::wstring& Name() const { return m_name; }
    std::wstring DisplayName() const { return L"Display of " + m_name; }

private:
    void Delete() {
        kiv::UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        kiv::UniqueService service(OpenServiceW(manager.Get(), m_name.c_str(), SERVICE_ALL_ACCESS));
        if (service) DeleteService(service.Get());
    }
    std::wstring m_name;
};

}  // namespace kivtest
