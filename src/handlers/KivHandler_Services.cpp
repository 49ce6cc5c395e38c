#include "handlers/KivHandler_Services.h"

CKivHandler_Services::~CKivHandler_Services() = default;
