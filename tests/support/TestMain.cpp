// Entry point of every test exe. Under Wine a crash can end a process with exit code 0 and
// GoogleTest does not catch SEH faults, so a fault is reported and the process ends non-zero.
#include <windows.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace {

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info)
{
    std::fprintf(stderr, "FATAL: unhandled exception 0x%08lX at %p\n",
                 static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                 info->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Window tests read and write the terminal's settings file beside the test exe. Every test
// case runs in a process of its own, so removing the file at both ends keeps them apart.
void RemoveSettingsFile()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    std::wstring file(path, length);
    file.replace(file.find_last_of(L"\\/") + 1, std::wstring::npos, L"Vellumtrace64.INI");
    DeleteFileW(file.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(ReportCrash);
    testing::InitGoogleTest(&argc, argv);
    RemoveSettingsFile();
    const int status = RUN_ALL_TESTS();
    RemoveSettingsFile();
    return status;
}
