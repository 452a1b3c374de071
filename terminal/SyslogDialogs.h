// The dialogs "Receive syslog" and "Forward to syslog" and the settings they edit. A value
// that cannot work (a port outside 1 to 65535, neither UDP nor TCP, no collector) is refused
// with its reason shown in the dialog.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "Settings.h"

inline constexpr wchar_t ReceiveDialogTitle[] = L"Receive syslog";
inline constexpr wchar_t ForwardDialogTitle[] = L"Forward to syslog";

struct TReceiveSettings {
    bool Enabled = false;
    std::wstring Address = DefaultSyslogAddress;
    std::int32_t Port = DefaultSyslogPort;
    bool Udp = true;
    bool Tcp = true;
    std::int32_t Channel = DefaultSyslogChannel;

    bool operator==(const TReceiveSettings&) const = default;
};

struct TForwardSettings {
    bool Enabled = false;
    std::wstring Host;
    std::int32_t Port = DefaultSyslogPort;
    bool Tcp = true;
    bool Relay = false;

    bool operator==(const TForwardSettings&) const = default;
};

// Each dialog edits a copy: true after OK, with the settings changed; false after Cancel.
// Its WM_INITDIALOG runs the handler of SetDialogInitHandler (DialogHook.h), record 0.
bool RunReceiveDialog(HWND owner, TReceiveSettings& settings);
bool RunForwardDialog(HWND owner, TForwardSettings& settings);

// The dialogs' controls, for the tests that fill them in.
enum TSyslogDialogControl : int {
    idSyslogProblem = 100, // why OK was refused; empty otherwise
    idReceiveEnabled,
    idReceiveAddress,
    idReceivePort,
    idReceiveUdp,
    idReceiveTcp,
    idReceiveChannel,      // combo box: M, 1 to 9
    idForwardEnabled,
    idForwardHost,
    idForwardPort,
    idForwardTcp,          // radio buttons: TCP, UDP
    idForwardUdp,
    idForwardRelay,
};
