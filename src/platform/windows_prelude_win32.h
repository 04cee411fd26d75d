#pragma once
// The one place that includes <windows.h>, with the settings every Win32 file of the program uses.
// Winsock 2 must come before <windows.h>.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef STRICT
#define STRICT
#endif

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>
