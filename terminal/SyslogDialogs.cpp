#include "SyslogDialogs.h"

#include <functional>
#include <optional>
#include <vector>

#include "DialogHook.h"
#include "DialogTemplate.h"
#include "ShmDefs.h"

namespace {

constexpr DWORD Tab = WS_TABSTOP;
constexpr DWORD Check = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD Field = ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr int NoId = -1;
constexpr short DialogWidth = 236;
constexpr int HighestPort = 65535;
constexpr int AddressChars = 255;
constexpr COLORREF ProblemColour = RGB(176, 0, 0);

const TDialogControlRow ReceiveRows[] = {
    {TDialogControlClass::Button, idReceiveEnabled, L"&Receive syslog", 7, 7, 120, 10, Check},
    {TDialogControlClass::Static, NoId, L"Listen on &address:", 7, 25, 70, 8, SS_LEFT},
    {TDialogControlClass::Edit, idReceiveAddress, L"", 80, 23, 148, 13, Field},
    {TDialogControlClass::Static, NoId, L"127.0.0.1: this computer only; 0.0.0.0: all interfaces", 80, 39, 150, 16,
     SS_LEFT},
    {TDialogControlClass::Static, NoId, L"&Port:", 7, 61, 70, 8, SS_LEFT},
    {TDialogControlClass::Edit, idReceivePort, L"", 80, 59, 40, 13, Field | ES_NUMBER},
    {TDialogControlClass::Button, idReceiveUdp, L"&UDP", 130, 60, 40, 10, Check},
    {TDialogControlClass::Button, idReceiveTcp, L"&TCP", 175, 60, 40, 10, Check},
    {TDialogControlClass::Static, NoId, L"&Channel of received lines:", 7, 80, 100, 8, SS_LEFT},
    {TDialogControlClass::ComboBox, idReceiveChannel, L"", 110, 78, 40, 120, CBS_DROPDOWNLIST | WS_VSCROLL | Tab},
    {TDialogControlClass::Static, idSyslogProblem, L"", 7, 98, 222, 18, SS_LEFT},
    {TDialogControlClass::Button, IDOK, L"OK", 122, 120, 50, 14, BS_DEFPUSHBUTTON | Tab},
    {TDialogControlClass::Button, IDCANCEL, L"Cancel", 179, 120, 50, 14, BS_PUSHBUTTON | Tab},
};
constexpr short ReceiveDialogHeight = 141;

const TDialogControlRow ForwardRows[] = {
    {TDialogControlClass::Button, idForwardEnabled, L"&Forward every line to syslog", 7, 7, 160, 10, Check},
    {TDialogControlClass::Static, NoId, L"&Collector:", 7, 25, 50, 8, SS_LEFT},
    {TDialogControlClass::Edit, idForwardHost, L"", 60, 23, 168, 13, Field},
    {TDialogControlClass::Static, NoId, L"&Port:", 7, 43, 50, 8, SS_LEFT},
    {TDialogControlClass::Edit, idForwardPort, L"", 60, 41, 40, 13, Field | ES_NUMBER},
    {TDialogControlClass::Button, idForwardTcp, L"&TCP", 110, 42, 40, 10, BS_AUTORADIOBUTTON | WS_GROUP | Tab},
    {TDialogControlClass::Button, idForwardUdp, L"&UDP", 155, 42, 40, 10, BS_AUTORADIOBUTTON},
    {TDialogControlClass::Button, idForwardRelay, L"&Also forward the lines received from syslog", 7, 60, 200, 10,
     Check | WS_GROUP},
    {TDialogControlClass::Static, idSyslogProblem, L"", 7, 76, 222, 18, SS_LEFT},
    {TDialogControlClass::Button, IDOK, L"OK", 122, 98, 50, 14, BS_DEFPUSHBUTTON | Tab},
    {TDialogControlClass::Button, IDCANCEL, L"Cancel", 179, 98, 50, 14, BS_PUSHBUTTON | Tab},
};
constexpr short ForwardDialogHeight = 119;

// One of the two dialogs: its fields are shown by `show` and read back by `read`, which
// gives the reason when they cannot be taken.
class TSyslogDialog {
public:
    using TShow = std::function<void(HWND)>;
    using TRead = std::function<std::optional<std::wstring>(HWND)>;

    TSyslogDialog(TShow show, TRead read) : FShow(std::move(show)), FRead(std::move(read)) {}

    bool Run(HWND owner, const wchar_t* title, short height, std::span<const TDialogControlRow> rows)
    {
        return RunDialog(owner, title, DialogWidth, height, rows, *this) == IDOK;
    }

    // The dialog's messages, as RunDialog hands them on.
    INT_PTR Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        switch (message) {
        case WM_INITDIALOG:
            FShow(window);
            CommonDialogHook(window, WM_INITDIALOG, 0, 0);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK)
                Confirm(window);
            else if (LOWORD(wParam) == IDCANCEL)
                EndDialog(window, IDCANCEL);
            return TRUE;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) != GetDlgItem(window, idSyslogProblem))
                return FALSE;
            SetTextColor(reinterpret_cast<HDC>(wParam), ProblemColour);
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_3DFACE));
        default:
            return FALSE;
        }
    }

private:
    void Confirm(HWND window)
    {
        if (const std::optional<std::wstring> problem = FRead(window)) {
            SetDlgItemTextW(window, idSyslogProblem, problem->c_str());
            return;
        }
        EndDialog(window, IDOK);
    }

    TShow FShow;
    TRead FRead;
};

void SetCheck(HWND dialog, int id, bool checked) { CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED); }
bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

std::wstring FieldText(HWND dialog, int id)
{
    std::wstring text(AddressChars + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetDlgItemTextW(dialog, id, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The port the field holds, or nothing when it is none.
std::optional<std::int32_t> FieldPort(HWND dialog, int id)
{
    BOOL valid = FALSE;
    const UINT port = GetDlgItemInt(dialog, id, &valid, FALSE);
    if (!valid || port < 1 || port > HighestPort)
        return std::nullopt;
    return static_cast<std::int32_t>(port);
}

constexpr wchar_t PortProblem[] = L"The port is a number from 1 to 65535.";

void ShowPortAndAddress(HWND dialog, int addressId, const std::wstring& address, int portId, std::int32_t port)
{
    SendDlgItemMessageW(dialog, addressId, EM_LIMITTEXT, AddressChars, 0);
    SetDlgItemTextW(dialog, addressId, address.c_str());
    SetDlgItemInt(dialog, portId, static_cast<UINT>(port), FALSE);
}

} // namespace

bool RunReceiveDialog(HWND owner, TReceiveSettings& settings)
{
    TReceiveSettings edited = settings;
    TSyslogDialog dialog(
        [&](HWND window) {
            SetCheck(window, idReceiveEnabled, edited.Enabled);
            ShowPortAndAddress(window, idReceiveAddress, edited.Address, idReceivePort, edited.Port);
            SetCheck(window, idReceiveUdp, edited.Udp);
            SetCheck(window, idReceiveTcp, edited.Tcp);
            const HWND channels = GetDlgItem(window, idReceiveChannel);
            for (int channel = 0; channel < Shm::ChannelCount; ++channel) {
                const wchar_t name[] = {channel == 0 ? L'M' : static_cast<wchar_t>(L'0' + channel), L'\0'};
                SendMessageW(channels, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
            }
            SendMessageW(channels, CB_SETCURSEL, static_cast<WPARAM>(edited.Channel), 0);
        },
        [&](HWND window) -> std::optional<std::wstring> {
            const std::optional<std::int32_t> port = FieldPort(window, idReceivePort);
            if (!port)
                return PortProblem;
            edited.Udp = IsChecked(window, idReceiveUdp);
            edited.Tcp = IsChecked(window, idReceiveTcp);
            if (!edited.Udp && !edited.Tcp)
                return L"Syslog comes over UDP, TCP or both: choose at least one.";
            edited.Address = FieldText(window, idReceiveAddress);
            if (edited.Address.empty())
                return L"Give the address to listen on (127.0.0.1: this computer only).";
            edited.Port = *port;
            edited.Enabled = IsChecked(window, idReceiveEnabled);
            edited.Channel = static_cast<std::int32_t>(SendDlgItemMessageW(window, idReceiveChannel, CB_GETCURSEL, 0, 0));
            return std::nullopt;
        });
    if (!dialog.Run(owner, ReceiveDialogTitle, ReceiveDialogHeight, ReceiveRows))
        return false;
    settings = edited;
    return true;
}

bool RunForwardDialog(HWND owner, TForwardSettings& settings)
{
    TForwardSettings edited = settings;
    TSyslogDialog dialog(
        [&](HWND window) {
            SetCheck(window, idForwardEnabled, edited.Enabled);
            ShowPortAndAddress(window, idForwardHost, edited.Host, idForwardPort, edited.Port);
            CheckRadioButton(window, idForwardTcp, idForwardUdp, edited.Tcp ? idForwardTcp : idForwardUdp);
            SetCheck(window, idForwardRelay, edited.Relay);
        },
        [&](HWND window) -> std::optional<std::wstring> {
            const std::optional<std::int32_t> port = FieldPort(window, idForwardPort);
            if (!port)
                return PortProblem;
            edited.Enabled = IsChecked(window, idForwardEnabled);
            edited.Host = FieldText(window, idForwardHost);
            if (edited.Enabled && edited.Host.empty())
                return L"Give the collector's host name or address.";
            edited.Port = *port;
            edited.Tcp = IsChecked(window, idForwardTcp);
            edited.Relay = IsChecked(window, idForwardRelay);
            return std::nullopt;
        });
    if (!dialog.Run(owner, ForwardDialogTitle, ForwardDialogHeight, ForwardRows))
        return false;
    settings = edited;
    return true;
}
