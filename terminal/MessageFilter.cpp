#include "MessageFilter.h"

#include <string>

#include "Exception.h"
#include "SystemError.h"

namespace {

TMessageFilterCall& FilterCall() noexcept
{
    static TMessageFilterCall call = &ChangeWindowMessageFilterEx;
    return call;
}

} // namespace

void SetMessageFilterCall(TMessageFilterCall call) noexcept
{
    FilterCall() = call != nullptr ? call : &ChangeWindowMessageFilterEx;
}

void AcceptFromLowerIntegrity(HWND window, UINT message)
{
    if (FilterCall()(window, message, MSGFLT_ALLOW, nullptr))
        return;
    throw Exception(L"This terminal cannot let programs with fewer rights than it has (a terminal run as "
                    L"administrator and programs run normally) send it lines: " +
                    SystemErrorText(GetLastError()));
}
