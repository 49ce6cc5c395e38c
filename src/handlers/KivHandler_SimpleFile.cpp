#include "handlers/KivHandler_SimpleFile.h"

CKivHandler_SimpleFile::~CKivHandler_SimpleFile() = default;
