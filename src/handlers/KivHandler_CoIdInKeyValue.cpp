#include "handlers/KivHandler_CoIdInKeyValue.h"

CKivHandler_CoIdInKeyValue::~CKivHandler_CoIdInKeyValue() = default;
