// Owner of a VARIANT that a COM call fills (a WMI property's value): cleared on
// every path out of the operation that read it.
#pragma once

#include <windows.h>
#include <oleauto.h>

namespace kiv {

class UniqueVariant {
public:
    UniqueVariant() noexcept { VariantInit(&m_value); }
    ~UniqueVariant() { VariantClear(&m_value); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    const VARIANT& Get() const noexcept { return m_value; }
    // For calls that read a VARIANT through a non-const pointer and keep nothing of it.
    VARIANT* In() noexcept { return &m_value; }
    // For calls that fill a VARIANT: what the owner held is cleared first.
    VARIANT* Put() noexcept {
        VariantClear(&m_value);
        return &m_value;
    }

private:
    VARIANT m_value;
};

}  // namespace kiv
