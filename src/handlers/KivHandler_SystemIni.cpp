#include "handlers/KivHandler_SystemIni.h"

CKivHandler_SystemIni::~CKivHandler_SystemIni() = default;
