// The host's sibling library that tells whether a file is protected by the
// system; a protected file counts as harmless.
#pragma once

#ifdef SIGVAULT_BUILDING
#define SIGVAULT_API __declspec(dllexport)
#else
#define SIGVAULT_API __declspec(dllimport)
#endif

class SIGVAULT_API CSigvault {
public:
    static CSigvault& Get();
    bool IsFileProtected(const wchar_t* path);

    CSigvault(const CSigvault&) = delete;
    CSigvault& operator=(const CSigvault&) = delete;

private:
    CSigvault();
    ~CSigvault();

    void* m_sfc;          // the system file protection library, when present
    void* m_isProtected;  // its protected-file test
};
