#include "handlers/KivHandler_RegValueEx.h"

CKivHandler_RegValueEx::~CKivHandler_RegValueEx() = default;
