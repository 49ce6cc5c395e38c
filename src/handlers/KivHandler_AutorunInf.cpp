#include "handlers/KivHandler_AutorunInf.h"

CKivHandler_AutorunInf::~CKivHandler_AutorunInf() = default;
