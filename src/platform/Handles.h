// Small owners for the operating-system resources the module opens. Every key,
// handle, find handle, COM interface, BSTR, icon and lock taken by an operation is
// held by one of these, so it is released on every path out of the operation.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <utility>

namespace kiv {

// Owns a value of a handle-like type and releases it with a fixed policy.
template <typename T, typename Traits>
class UniqueResource {
public:
    UniqueResource() noexcept : m_value(Traits::Invalid()) {}
    explicit UniqueResource(T value) noexcept : m_value(value) {}
    ~UniqueResource() { Reset(); }

    UniqueResource(UniqueResource&& other) noexcept : m_value(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    T Get() const noexcept { return m_value; }
    bool Valid() const noexcept { return m_value != Traits::Invalid(); }
    explicit operator bool() const noexcept { return Valid(); }

    // For APIs that return the resource through an out parameter.
    T* Put() noexcept {
        Reset();
        return &m_value;
    }
    T Release() noexcept { return std::exchange(m_value, Traits::Invalid()); }
    void Reset(T value = Traits::Invalid()) noexcept {
        T old = std::exchange(m_value, value);
        if (old != Traits::Invalid()) Traits::Close(old);
    }

private:
    T m_value;
};

struct RegKeyTraits {
    static HKEY Invalid() noexcept { return nullptr; }
    static void Close(HKEY key) noexcept { RegCloseKey(key); }
};
struct FileHandleTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { CloseHandle(h); }
};
struct KernelHandleTraits {
    static HANDLE Invalid() noexcept { return nullptr; }
    static void Close(HANDLE h) noexcept { CloseHandle(h); }
};
struct FindHandleTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { FindClose(h); }
};
struct IconTraits {
    static HICON Invalid() noexcept { return nullptr; }
    static void Close(HICON icon) noexcept { DestroyIcon(icon); }
};
struct BstrTraits {
    static BSTR Invalid() noexcept { return nullptr; }
    static void Close(BSTR text) noexcept { SysFreeString(text); }
};
struct ModuleTraits {
    static HMODULE Invalid() noexcept { return nullptr; }
    static void Close(HMODULE module) noexcept { FreeLibrary(module); }
};

// A C runtime stream (files read through the runtime's own buffering).
struct CrtFileTraits {
    static FILE* Invalid() noexcept { return nullptr; }
    static void Close(FILE* file) noexcept { fclose(file); }
};

using UniqueHKey = UniqueResource<HKEY, RegKeyTraits>;
using UniqueFile = UniqueResource<HANDLE, FileHandleTraits>;
using UniqueHandle = UniqueResource<HANDLE, KernelHandleTraits>;
using UniqueFind = UniqueResource<HANDLE, FindHandleTraits>;
using UniqueIcon = UniqueResource<HICON, IconTraits>;
using UniqueBstr = UniqueResource<BSTR, BstrTraits>;
using UniqueModule = UniqueResource<HMODULE, ModuleTraits>;
using UniqueCrtFile = UniqueResource<FILE*, CrtFileTraits>;

// Owns one reference to a COM interface.
template <typename I>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ~ComPtr() { Reset(); }
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    I* Get() const noexcept { return m_p; }
    I* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    I** Put() noexcept {
        Reset();
        return &m_p;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }
    void Reset() noexcept {
        if (m_p) std::exchange(m_p, nullptr)->Release();
    }

private:
    I* m_p = nullptr;
};

// Owns a critical section from its initialisation to its deletion.
class CriticalSection {
public:
    CriticalSection() noexcept { InitializeCriticalSection(&m_section); }
    ~CriticalSection() { DeleteCriticalSection(&m_section); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    CRITICAL_SECTION& Get() noexcept { return m_section; }

private:
    CRITICAL_SECTION m_section;
};

// Holds a critical section for the lifetime of a scope.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& section) noexcept : m_section(section) {
        EnterCriticalSection(&m_section);
    }
    explicit CriticalSectionLock(CriticalSection& section) noexcept : CriticalSectionLock(section.Get()) {}
    ~CriticalSectionLock() { LeaveCriticalSection(&m_section); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& m_section;
};

}  // namespace kiv
