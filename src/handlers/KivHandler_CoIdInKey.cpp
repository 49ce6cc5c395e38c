#include "handlers/KivHandler_CoIdInKey.h"

CKivHandler_CoIdInKey::~CKivHandler_CoIdInKey() = default;
