#include "handlers/KivHandler_DesktopIniObj.h"

CKivHandler_DesktopIniObj::~CKivHandler_DesktopIniObj() = default;
