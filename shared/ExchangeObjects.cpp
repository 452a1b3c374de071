#include "ExchangeObjects.h"

#include <cwchar>

#include "ShmDefs.h"
#include "SystemError.h"

namespace {

constexpr wchar_t AreaWhat[] = L"exchange area";
constexpr wchar_t MutexWhat[] = L"mutex";

// Under the exchange's security only another user's objects, or objects a program made
// with security of its own, refuse a sender or a terminal.
constexpr wchar_t MadeByAnotherUser[] =
    L"it was made by a program running as administrator or as another user, which does not let this program "
    L"use it. Start this program as administrator too, or close the programs that use the debug terminal and "
    L"try again.";

} // namespace

std::wstring Exchange::OpenFailureText(const wchar_t* what, const wchar_t* name, DWORD errorCode)
{
    const std::wstring reason = errorCode == ERROR_ACCESS_DENIED ? MadeByAnotherUser : SystemErrorText(errorCode);
    return std::wstring(L"Cannot open the ") + what + L" \"" + name + L"\": " + reason;
}

TUniqueHandle Exchange::OpenAreaMutex()
{
    TUniqueHandle mutex(OpenMutexW(MutexAccess, FALSE, Shm::MutexName));
    if (!mutex && GetLastError() == ERROR_FILE_NOT_FOUND) {
        // Opens with the same rights what another process made since.
        TObjectSecurity security(TObjectSecurityKind::Exchange);
        mutex.Reset(CreateMutexExW(security.Attributes(), Shm::MutexName, 0, MutexAccess));
    }
    if (!mutex)
        throw Exception(OpenFailureText(MutexWhat, Shm::MutexName, GetLastError()));
    return mutex;
}

TUniqueHandle Exchange::OpenRoomEvent(bool make) noexcept
{
    TUniqueHandle event(OpenEventW(RoomEventAccess, FALSE, Shm::RoomEventName));
    if (!event && make && GetLastError() == ERROR_FILE_NOT_FOUND) {
        try {
            TObjectSecurity security(TObjectSecurityKind::Exchange);
            event.Reset(CreateEventExW(security.Attributes(), Shm::RoomEventName, 0, RoomEventAccess));
        } catch (const Exception&) {
            // Without the descriptor the event is not made: senders poll instead.
        }
    }
    return event;
}

bool Exchange::IsTerminalWindow(HWND window) noexcept
{
    constexpr int ClassNameChars = 64;
    wchar_t className[ClassNameChars] = {};
    return window != nullptr && GetClassNameW(window, className, ClassNameChars) > 0 &&
           std::wcscmp(className, Shm::TerminalWindowClass) == 0;
}

TExchangeSection::TExchangeSection(TComponent* owner) : TSharedData(owner)
{
    SetSectionName(Shm::SectionName);
    SetDataSize(Shm::AreaSize);
}

DWORD TExchangeSection::GetOpenAccess() { return Exchange::SectionAccess; }

DWORD TExchangeSection::GetViewAccess() { return Exchange::SectionAccess; }

LPSECURITY_ATTRIBUTES TExchangeSection::GetSecurityAttributes() { return FSecurity.Attributes(); }

void TExchangeSection::RaiseOpenError(DWORD errorCode)
{
    throw ESharedDataError(Exchange::OpenFailureText(AreaWhat, Shm::SectionNameW, errorCode));
}
