#include "BenchCRun.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>

#include "BenchSenderTask.h"
#include "Exception.h"

struct VtBenchRun {
    Bench::TSenderTask Task;
};

namespace {

struct TLocalFree {
    void operator()(wchar_t** arguments) const noexcept { LocalFree(arguments); }
};

Bench::TArguments CommandLineArguments()
{
    int argc = 0;
    const std::unique_ptr<wchar_t*, TLocalFree> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    if (!argv)
        throw Exception(L"The command line could not be read");
    return Bench::TArguments(argc, argv.get(), {L"id", L"run", L"count", L"size"});
}

void ReportFailure(const std::exception& failure) { std::fprintf(stderr, "vt_bench_capi: %s\n", failure.what()); }

} // namespace

extern "C" {

VtBenchRun* VtBenchBegin(void)
{
    try {
        return new VtBenchRun{Bench::TSenderTask(CommandLineArguments())};
    } catch (const std::exception& failure) {
        ReportFailure(failure);
        return nullptr;
    }
}

unsigned long VtBenchCount(const VtBenchRun* run) { return static_cast<unsigned long>(run->Task.Texts().size()); }

const char* VtBenchText(const VtBenchRun* run, unsigned long seq) { return run->Task.Texts()[seq - 1].c_str(); }

int VtBenchAwaitGo(VtBenchRun* run)
{
    try {
        run->Task.AwaitGo();
        return 1;
    } catch (const std::exception& failure) {
        ReportFailure(failure);
        return 0;
    }
}

void VtBenchEnd(VtBenchRun* run, unsigned long sent, unsigned long dropped, unsigned long longestHoldUs)
{
    run->Task.Finish(static_cast<std::int64_t>(sent), static_cast<std::int64_t>(dropped), longestHoldUs);
    delete run;
}

} // extern "C"
