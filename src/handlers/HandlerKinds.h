// One maker per kind of handler. Each handler is declared where it is defined; the
// factory and the tests reach them through these functions. Each answers a new
// object owned by the caller, or null when none could be made.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "core/KivHandler.h"

CKivHandler* NewRegValueHandler();
CKivHandler* NewRegValueExHandler();
CKivHandler* NewSimpleFileHandler();
CKivHandler* NewCoIdInKeyValueHandler();
CKivHandler* NewCoIdInKeyHandler();
CKivHandler* NewCoIdInValueHandler();
CKivHandler* NewTaskSchedulerHandler();
CKivHandler* NewServicesHandler();
CKivHandler* NewDriversHandler();
CKivHandler* NewWinIniHandler();
CKivHandler* NewSystemIniHandler();
CKivHandler* NewAutorunInfHandler();
CKivHandler* NewDesktopIniObjHandler();
CKivHandler* NewLspChainHandler();
CKivHandler* NewAppInitDllHandler();
CKivHandler* NewAutoPlayHandler();
CKivHandler* NewServiceRecoveryHandler();
CKivHandler* NewAccessibilityProgramsHandler();
CKivHandler* NewHiddenTasksHandler();
CKivHandler* NewBitsJobsHandler();
CKivHandler* NewWmiSubscriptionsHandler();

namespace kiv {

// 64-bit Windows keeps the Winsock catalogue twice: the native providers under
// "Catalog_Entries64", those that 32-bit programs load under "Catalog_Entries".
enum class ProviderCatalogue { Native, Wow32 };

// The calls of one catalogue: listing its providers, shaped and answering as
// WSCEnumProtocols, and taking one out, shaped and answering as WSCDeinstallProvider
// (0 on success).
using ProviderEnumerate = int(__stdcall*)(int* protocols, WSAPROTOCOL_INFOW* records, DWORD* bytes, int* error);
using ProviderDeinstall = int(__stdcall*)(GUID* providerId, int* error);
struct ProviderCalls {
    ProviderEnumerate enumerate = nullptr;
    ProviderDeinstall deinstall = nullptr;
};

// Replaces the calls of one catalogue and returns those replaced; a null member
// puts the system's call back. Only tests do this: the systems they run on do not
// remove built-in providers (so the tests record the request instead), and some
// have no 32-bit catalogue calls at all.
ProviderCalls SetProviderCalls(ProviderCatalogue catalogue, ProviderCalls calls);

// The call that names the share behind a network drive letter, shaped and answering
// as WNetGetConnectionW. Replaces it and returns the one replaced; null puts the
// system's call back. Only tests do this: a test machine has no share to connect.
using DriveConnection = DWORD(__stdcall*)(const wchar_t* local, wchar_t* remote, DWORD* length);
DriveConnection SetDriveConnectionCall(DriveConnection call);

}  // namespace kiv
