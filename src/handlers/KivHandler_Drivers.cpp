#include "handlers/KivHandler_Drivers.h"

CKivHandler_Drivers::~CKivHandler_Drivers() = default;
