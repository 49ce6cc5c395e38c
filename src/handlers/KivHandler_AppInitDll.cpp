#include "handlers/KivHandler_AppInitDll.h"

CKivHandler_AppInitDll::~CKivHandler_AppInitDll() = default;
