#include "handlers/KivHandler_RegValue.h"

CKivHandler_RegValue::~CKivHandler_RegValue() = default;
