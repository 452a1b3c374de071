// The exchange's section and mutex as the terminal and the senders open them: with the least
// access they need, made with the exchange's security only where they do not exist yet, and
// a refusal told in words a user understands.
#pragma once

#include <windows.h>

#include <string>

#include "ObjectSecurity.h"
#include "ShDat.h"
#include "WinHandles.h"

namespace Exchange {

// Reading and writing the area; waiting for the mutex and releasing it.
inline constexpr DWORD SectionAccess = FILE_MAP_READ | FILE_MAP_WRITE;
inline constexpr DWORD MutexAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;
// Waiting for the room event, setting and resetting it.
inline constexpr DWORD RoomEventAccess = SYNCHRONIZE | EVENT_MODIFY_STATE;

// "Cannot open the <what> "<name>": " and the reason: for access denied, that another
// program made the object and how to get past it; else the system's text.
std::wstring OpenFailureText(const wchar_t* what, const wchar_t* name, DWORD errorCode);

// The exchange mutex, opened or made. Throws Exception with OpenFailureText.
TUniqueHandle OpenAreaMutex();

// The room event (Shm::RoomEventName), opened, or made by the terminal (`make`); null when
// it cannot be had: its users then do without it.
TUniqueHandle OpenRoomEvent(bool make) noexcept;

// True when `window` exists and is a terminal's main window, not a stranger that got the
// handle of a terminal that ended without withdrawing it.
bool IsTerminalWindow(HWND window) noexcept;

} // namespace Exchange

// The exchange area's section: TSharedData with the area's name, size, access and security.
// A failed open raises ESharedDataError with Exchange::OpenFailureText.
class TExchangeSection : public TSharedData {
public:
    explicit TExchangeSection(TComponent* owner);

protected:
    DWORD GetOpenAccess() override;
    DWORD GetViewAccess() override;
    LPSECURITY_ATTRIBUTES GetSecurityAttributes() override;
    [[noreturn]] void RaiseOpenError(DWORD errorCode) override;

private:
    TObjectSecurity FSecurity{TObjectSecurityKind::Exchange};
};
