#include "handlers/KivHandler_CoIdInValue.h"

CKivHandler_CoIdInValue::~CKivHandler_CoIdInValue() = default;
