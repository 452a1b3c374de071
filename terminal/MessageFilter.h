// User Interface Privilege Isolation: a window of an elevated terminal hears a registered
// message from a sender of lower integrity only when it lets that message through.
#pragma once

#include <windows.h>

// The system's ChangeWindowMessageFilterEx, or what a test put in its place.
using TMessageFilterCall = BOOL(WINAPI*)(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT status);

// Replaces ChangeWindowMessageFilterEx for the tests (Wine accepts the call and does nothing);
// null restores it.
void SetMessageFilterCall(TMessageFilterCall call) noexcept;

// Lets `message` through to `window` from processes of lower integrity. Throws Exception
// saying who can then not reach the window.
void AcceptFromLowerIntegrity(HWND window, UINT message);
