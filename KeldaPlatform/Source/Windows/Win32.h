#pragma once
// The Win32 headers as this backend uses them. The system defines many of its function names as
// macros (GetMessage becomes GetMessageW under UNICODE): names of the library's own interfaces that
// collide are undefined here, and the backend calls the wide functions by their full names.
#include <windows.h>

#undef CreateFileMapping
#undef GetMessage
