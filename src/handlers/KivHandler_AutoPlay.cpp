#include "handlers/KivHandler_AutoPlay.h"

CKivHandler_AutoPlay::~CKivHandler_AutoPlay() = default;
