#include "handlers/KivHandler_TaskScheduler.h"

CKivHandler_TaskScheduler::~CKivHandler_TaskScheduler() = default;
