#include "core/HandlerFactory.h"

#include <new>

#include "handlers/KivHandler_RegValue.h"
#include "handlers/KivHandler_RegValueEx.h"
#include "handlers/KivHandler_SimpleFile.h"
#include "handlers/KivHandler_CoIdInKeyValue.h"
#include "handlers/KivHandler_CoIdInKey.h"
#include "handlers/KivHandler_CoIdInValue.h"
#include "handlers/KivHandler_TaskScheduler.h"
#include "handlers/KivHandler_Services.h"
#include "handlers/KivHandler_Drivers.h"
#include "handlers/KivHandler_WinIni.h"
#include "handlers/KivHandler_SystemIni.h"
#include "handlers/KivHandler_AutorunInf.h"
#include "handlers/KivHandler_DesktopIniObj.h"
#include "handlers/KivHandler_LspChain.h"
#include "handlers/KivHandler_AppInitDll.h"
#include "handlers/KivHandler_AutoPlay.h"

CKivHandler* CreateKivHandler(EKivHandlerType type) {
    switch (type) {
    case RegValue: return new (std::nothrow) CKivHandler_RegValue();
    case RegValueEx: return new (std::nothrow) CKivHandler_RegValueEx();
    case SimpleFile: return new (std::nothrow) CKivHandler_SimpleFile();
    case CoIdInKeyValue: return new (std::nothrow) CKivHandler_CoIdInKeyValue();
    case CoIdInKey: return new (std::nothrow) CKivHandler_CoIdInKey();
    case CoIdInValue: return new (std::nothrow) CKivHandler_CoIdInValue();
    case TaskScheduler: return new (std::nothrow) CKivHandler_TaskScheduler();
    case Services: return new (std::nothrow) CKivHandler_Services();
    case Drivers: return new (std::nothrow) CKivHandler_Drivers();
    case WinIni: return new (std::nothrow) CKivHandler_WinIni();
    case SystemIni: return new (std::nothrow) CKivHandler_SystemIni();
    case AutorunInf: return new (std::nothrow) CKivHandler_AutorunInf();
    case DesktopIniObj: return new (std::nothrow) CKivHandler_DesktopIniObj();
    case LspChain: return new (std::nothrow) CKivHandler_LspChain();
    case AppInitDll: return new (std::nothrow) CKivHandler_AppInitDll();
    case AutoPlay: return new (std::nothrow) CKivHandler_AutoPlay();
    }
    return nullptr;
}
