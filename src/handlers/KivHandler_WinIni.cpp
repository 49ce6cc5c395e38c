#include "handlers/KivHandler_WinIni.h"

CKivHandler_WinIni::~CKivHandler_WinIni() = default;
