// One maker per kind of handler. Each handler is declared where it is defined; the
// factory and the tests reach them through these functions. Each answers a new
// object owned by the caller, or null when none could be made.
#pragma once

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

namespace kiv {

// The call that takes a provider out of the Winsock catalogue, shaped and answering
// as WSCDeinstallProvider (0 on success).
using ProviderDeinstall = int(__stdcall*)(GUID* providerId, int* error);

// Replaces that call and returns the one replaced. Only tests do this: the systems
// they run on do not remove built-in providers, so they record the request instead.
ProviderDeinstall SetProviderDeinstall(ProviderDeinstall call);

}  // namespace kiv
