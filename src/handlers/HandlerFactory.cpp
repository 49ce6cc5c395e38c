#include "core/HandlerFactory.h"

#include "handlers/HandlerKinds.h"

CKivHandler* CreateKivHandler(EKivHandlerType type) {
    switch (type) {
    case RegValue:
        return NewRegValueHandler();
    case RegValueEx:
        return NewRegValueExHandler();
    case SimpleFile:
        return NewSimpleFileHandler();
    case CoIdInKeyValue:
        return NewCoIdInKeyValueHandler();
    case CoIdInKey:
        return NewCoIdInKeyHandler();
    case CoIdInValue:
        return NewCoIdInValueHandler();
    case TaskScheduler:
        return NewTaskSchedulerHandler();
    case Services:
        return NewServicesHandler();
    case Drivers:
        return NewDriversHandler();
    case WinIni:
        return NewWinIniHandler();
    case SystemIni:
        return NewSystemIniHandler();
    case AutorunInf:
        return NewAutorunInfHandler();
    case DesktopIniObj:
        return NewDesktopIniObjHandler();
    case LspChain:
        return NewLspChainHandler();
    case AppInitDll:
        return NewAppInitDllHandler();
    case AutoPlay:
        return NewAutoPlayHandler();
    case ServiceRecovery:
        return NewServiceRecoveryHandler();
    case AccessibilityPrograms:
        return NewAccessibilityProgramsHandler();
    case HiddenTasks:
        return NewHiddenTasksHandler();
    case BitsJobs:
        return NewBitsJobsHandler();
    case WmiSubscriptions:
        return NewWmiSubscriptionsHandler();
    }
    return nullptr;
}
