#include "handlers/KivHandler_LspChain.h"

CKivHandler_LspChain::~CKivHandler_LspChain() = default;
