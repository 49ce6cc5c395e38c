// The system's own words for an error code, as both hosts show them to a person.
#pragma once

#include <windows.h>

#include <string>

// The system's text for an error code on one line, without its line break
// ("Access is denied."); "error N." for a code the system has no text for, and
// "the system gave no reason." for ERROR_SUCCESS (a failure that left no code).
std::wstring SystemMessage(DWORD code);
