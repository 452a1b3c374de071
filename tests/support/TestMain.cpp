// Entry point of every test exe. Under Wine a crash can end a process with exit code 0 and
// GoogleTest does not catch SEH faults, so a fault is reported and the process ends non-zero.
#include <windows.h>

#include <cstdio>

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

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(ReportCrash);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
