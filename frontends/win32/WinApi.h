#pragma once
// The Win32 headers, for this folder's toolkit files only: they rename ANSI/Unicode pairs by
// macro, which must never reach the Platform seam.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>
