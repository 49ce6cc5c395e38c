// The few files and folders that exist for the native build's file calls, so that
// the steps that look for a file can also find one. Matching ignores ASCII case:
//   C:\windows, C:\windows\system32, C:\Program Files     folders
//   C:\windows\system32\NAME.exe and NAME.dll              files (NAME: letters only)
#pragma once

bool ShimFileExists(const wchar_t* path);
bool ShimIsFolder(const wchar_t* path);
