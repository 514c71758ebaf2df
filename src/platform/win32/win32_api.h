// The one place that includes <windows.h> and Winsock, with the version pins MinGW-w64 needs.
#pragma once

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601  // Windows 7: CancelIoEx, IPv6 dual stack, inet_pton
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

// Winsock comes before <windows.h>; the order below is kept as it is, not sorted.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// Left out of <windows.h> by WIN32_LEAN_AND_MEAN.
#include <wincrypt.h>
#include <shlobj.h>
// clang-format on
// The notification area, ShellExecuteW, ToolHelp and the service manager, also left out by
// WIN32_LEAN_AND_MEAN.
#include <shellapi.h>
#include <tlhelp32.h>
#include <winsvc.h>
