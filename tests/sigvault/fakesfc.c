/* A stand-in for the system's file protection library that calls every file
   protected: if it is ever loaded, the check's answers show it. */
#include <windows.h>

__declspec(dllexport) BOOL WINAPI SfcIsFileProtected(HANDLE rpc, LPCWSTR path) {
    (void)rpc;
    (void)path;
    return TRUE;
}
