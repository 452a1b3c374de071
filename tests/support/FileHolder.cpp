// A second process that holds a file open the way a scanner, an indexer or a viewer does:
// reading, with read and write sharing but no delete sharing, so that the file can be neither
// renamed nor deleted meanwhile.
//   vt_file_holder PATH READY_EVENT HOLD_MS
// Sets READY_EVENT once the file is open, holds it for HOLD_MS, then ends. Exit code 0 when
// it held the file.
#include <windows.h>

#include <cwchar>

#include "WinHandles.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return 10;
    const TUniqueFileHandle file(CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const TUniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]));
    if (!file || !ready)
        return 11;
    SetEvent(ready.Get());
    Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
    return 0;
}
