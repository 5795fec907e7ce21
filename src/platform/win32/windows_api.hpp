#pragma once
// <windows.h> for this backend. Two of its A/W macros carry the names of
// platform operations (DeleteFile, ReplaceFile); they go, so the interface
// keeps one set of names in every file. The API calls are made by their W names.

#include <windows.h>

#undef DeleteFile
#undef ReplaceFile
