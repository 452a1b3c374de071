// vtsend: sends debug lines to the terminal, from its arguments or from standard input.
#include <windows.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "SenderCore.h"
#include "SystemTick.h"
#include "TextCodec.h"

namespace {

enum TExitCode : int {
    ExitSent = 0,    // every line was written
    ExitLeftOut = 1, // the terminal has the channel switched off
    ExitDropped = 2, // the ring stayed full (or the area is damaged)
    ExitNoArea = 3,  // the exchange area or its mutex could not be opened
    ExitUsage = 4,
};

constexpr wchar_t UsageText[] =
    L"Usage: vtsend [options] [TEXT...]\r\n"
    L"Sends the TEXT arguments, joined by one blank, as one line to the debug terminal;\r\n"
    L"without TEXT, sends each line of standard input (CR and LF stripped).\r\n"
    L"\r\n"
    L"  -c, --channel CH     channel M (or 0) to 9; default M\r\n"
    L"  --count N            send N numbered lines \"TEXT 1\" to \"TEXT N\" (TEXT default \"line\")\r\n"
    L"  --interval-ms MS     pause between two lines\r\n"
    L"  --full-wait-ms MS    how long to wait for room in a full ring before dropping (default 1000)\r\n"
    L"  --codepage CP        how standard input is encoded: oem, ansi or utf8; default the console's\r\n"
    L"                       code page when there is a console (as in a Command Prompt), else ansi\r\n"
    L"  --stats              at the end, one line on standard error: lines sent, left out and dropped,\r\n"
    L"                       and the longest hold of the exchange mutex in microseconds\r\n"
    L"  -h, --help           show this text\r\n"
    L"  --                   end of options\r\n"
    L"\r\n"
    L"Exit status: 0 all sent, 1 channel switched off, 2 lines dropped, 3 no exchange area, 4 usage.\r\n";
constexpr wchar_t DefaultCountText[] = L"line";
constexpr DWORD StdinChunkSize = 65536;
// --count lines are handed to the sender this many at a time.
constexpr unsigned long CountBatchLines = 256;

class EUsage : public Exception {
public:
    using Exception::Exception;
};

struct TOptions {
    unsigned Channel = 0;
    std::optional<unsigned long> Count;
    unsigned long IntervalMs = 0;
    unsigned long FullWaitMs = Sender::DefaultFullWaitMs;
    std::optional<UINT> InputCodePage;
    bool Stats = false;
    bool Help = false;
    std::vector<std::wstring> Texts;
};

void Write(DWORD stdHandle, std::wstring_view text)
{
    const HANDLE handle = GetStdHandle(stdHandle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = WideToAnsi(text);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// A message or the stats line on standard error, with the program's name in front.
void Report(const std::wstring& message) { Write(STD_ERROR_HANDLE, L"vtsend: " + message + L"\r\n"); }

unsigned long ParseNumber(std::wstring_view option, std::wstring_view value)
{
    constexpr unsigned long long Limit = 0xFFFFFFFFull;
    unsigned long long number = 0;
    bool valid = !value.empty();
    for (std::size_t i = 0; valid && i < value.size(); ++i) {
        valid = value[i] >= L'0' && value[i] <= L'9';
        number = number * 10 + static_cast<unsigned long long>(value[i] - L'0');
        valid = valid && number <= Limit;
    }
    if (!valid)
        throw EUsage(L"invalid value for " + std::wstring(option) + L": \"" + std::wstring(value) + L"\"");
    return static_cast<unsigned long>(number);
}

unsigned ParseChannel(std::wstring_view option, std::wstring_view value)
{
    if (value == L"M" || value == L"m")
        return 0;
    if (value.size() == 1 && value[0] >= L'0' && value[0] <= L'9')
        return static_cast<unsigned>(value[0] - L'0');
    throw EUsage(L"invalid channel for " + std::wstring(option) + L": \"" + std::wstring(value) +
                 L"\" (M or 0 to 9)");
}

UINT ParseCodePage(std::wstring_view option, std::wstring_view value)
{
    if (value == L"oem")
        return CP_OEMCP;
    if (value == L"ansi")
        return CP_ACP;
    if (value == L"utf8")
        return CP_UTF8;
    throw EUsage(L"invalid code page for " + std::wstring(option) + L": \"" + std::wstring(value) +
                 L"\" (oem, ansi or utf8)");
}

// What standard input is written in: what was asked for; else what console programs write
// into a pipe, the console's code page (the OEM one in a Command Prompt, so that "dir | vtsend"
// keeps accented names); without a console, the ANSI code page.
UINT InputCodePage(const TOptions& options)
{
    if (options.InputCodePage)
        return *options.InputCodePage;
    const UINT console = GetConsoleOutputCP();
    return console != 0 ? console : CP_ACP;
}

TOptions ParseArguments(int argc, wchar_t** argv)
{
    TOptions options;
    int i = 1;
    const auto valueOf = [&](std::wstring_view option) -> std::wstring_view {
        if (i + 1 >= argc)
            throw EUsage(L"missing value for " + std::wstring(option));
        return argv[++i];
    };
    for (; i < argc; ++i) {
        const std::wstring_view arg = argv[i];
        if (arg == L"--") {
            ++i;
            break;
        }
        if (arg == L"-c" || arg == L"--channel")
            options.Channel = ParseChannel(arg, valueOf(arg));
        else if (arg == L"--count")
            options.Count = ParseNumber(arg, valueOf(arg));
        else if (arg == L"--interval-ms")
            options.IntervalMs = ParseNumber(arg, valueOf(arg));
        else if (arg == L"--full-wait-ms")
            options.FullWaitMs = ParseNumber(arg, valueOf(arg));
        else if (arg == L"--codepage")
            options.InputCodePage = ParseCodePage(arg, valueOf(arg));
        else if (arg == L"--stats")
            options.Stats = true;
        else if (arg == L"-h" || arg == L"--help")
            options.Help = true;
        else if (arg.size() > 1 && arg[0] == L'-')
            throw EUsage(L"unknown option \"" + std::wstring(arg) + L"\"");
        else
            break; // the first text ends the options
    }
    for (; i < argc; ++i)
        options.Texts.emplace_back(argv[i]);
    return options;
}

std::wstring Joined(const std::vector<std::wstring>& texts)
{
    std::wstring result;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0)
            result += L' ';
        result += texts[i];
    }
    return result;
}

// Sends line after line and keeps the tally for the exit status.
class TLineSender {
public:
    TLineSender(TEntrySender& sender, const TOptions& options) noexcept : FSender(sender), FOptions(options) {}
    TLineSender(const TLineSender&) = delete;
    TLineSender& operator=(const TLineSender&) = delete;

    void Send(std::string_view line)
    {
        // On a high-resolution timer: a Sleep lasts at least a whole tick (15.6 ms) on Windows.
        if (FLines++ > 0 && FOptions.IntervalMs > 0)
            SystemTick::SleepOn(FPause.Get(), FOptions.IntervalMs);
        switch (FSender.Send(FOptions.Channel, line)) {
        case VT_CHANNEL_OFF:
            ++FLeftOut;
            break;
        case VT_DROPPED:
            ++FDropped;
            break;
        default:
            break;
        }
    }

    // Lines that are ready together go out in as few holds of the mutex as the ring allows;
    // with a pause between lines, one by one.
    void SendBatch(std::span<const std::string_view> batch)
    {
        if (FOptions.IntervalMs > 0) {
            for (const std::string_view line : batch)
                Send(line);
            return;
        }
        const TSendTally tally = FSender.SendLines(FOptions.Channel, batch);
        FLines += static_cast<unsigned long>(batch.size());
        FLeftOut += static_cast<unsigned long>(tally.LeftOut);
        FDropped += static_cast<unsigned long>(tally.Dropped);
    }

    int Finish() const
    {
        const std::wstring ofLines = L" of " + std::to_wstring(FLines) + L" line(s) ";
        if (FDropped > 0) {
            Report(std::to_wstring(FDropped) + ofLines + L"dropped: the ring stayed full or the exchange area is damaged");
            return ExitDropped;
        }
        if (FLeftOut > 0) {
            Report(std::to_wstring(FLeftOut) + ofLines + L"left out: the terminal has channel " + ChannelName() +
                   L" switched off");
            return ExitLeftOut;
        }
        return ExitSent;
    }

    // "vtsend: 20000 line(s): 19990 sent, 0 left out, 10 dropped; longest hold of the mutex 140 us"
    void ReportStats() const
    {
        const unsigned long sent = FLines - FLeftOut - FDropped;
        Report(std::to_wstring(FLines) + L" line(s): " + std::to_wstring(sent) + L" sent, " + std::to_wstring(FLeftOut) +
               L" left out, " + std::to_wstring(FDropped) + L" dropped; longest hold of the mutex " +
               std::to_wstring(FSender.LongestHoldUs()) + L" us");
    }

private:
    std::wstring ChannelName() const
    {
        return FOptions.Channel == 0 ? std::wstring(L"M") : std::to_wstring(FOptions.Channel);
    }

    TEntrySender& FSender;
    const TOptions& FOptions;
    unsigned long FLines = 0;
    unsigned long FLeftOut = 0;
    unsigned long FDropped = 0;
    const TUniqueHandle FPause = SystemTick::HighResolutionTimer(); // for --interval-ms
};

std::string_view WithoutLineEnd(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    return line;
}

// One line per line of standard input, sent as it arrives: the lines of one read go out
// together, so a line that comes alone is sent at once. A last line without LF counts. Each
// whole line is converted from `codePage` to the ANSI code page of the area.
void SendStandardInput(TLineSender& lines, UINT codePage)
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE)
        return;
    std::string pending;
    std::vector<char> chunk(StdinChunkSize);
    std::vector<std::string> converted;
    std::vector<std::string_view> batch;
    DWORD read = 0;
    while (ReadFile(input, chunk.data(), StdinChunkSize, &read, nullptr) && read > 0) {
        pending.append(chunk.data(), read);
        converted.clear();
        std::size_t start = 0;
        for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1)
            converted.push_back(CodePageToAnsi(codePage, WithoutLineEnd(std::string_view(pending).substr(start, end - start))));
        if (!converted.empty()) {
            batch.assign(converted.begin(), converted.end());
            lines.SendBatch(batch);
        }
        pending.erase(0, start);
    }
    if (!pending.empty())
        lines.Send(CodePageToAnsi(codePage, WithoutLineEnd(pending)));
}

// "TEXT 1" to "TEXT N", handed over CountBatchLines at a time.
void SendCounted(TLineSender& lines, const std::string& prefix, unsigned long count)
{
    std::vector<std::string> texts;
    std::vector<std::string_view> batch;
    for (unsigned long first = 1; first <= count; first += CountBatchLines) {
        const unsigned long last = count - first < CountBatchLines ? count : first + CountBatchLines - 1;
        texts.clear();
        for (unsigned long n = first; n <= last; ++n)
            texts.push_back(prefix + std::to_string(n));
        batch.assign(texts.begin(), texts.end());
        lines.SendBatch(batch);
    }
}

int Run(int argc, wchar_t** argv)
{
    const TOptions options = ParseArguments(argc, argv);
    if (options.Help) {
        Write(STD_OUTPUT_HANDLE, UsageText);
        return ExitSent;
    }

    TEntrySender sender;
    sender.SetFullWait(options.FullWaitMs);
    TLineSender lines(sender, options);
    if (options.Count) {
        const std::string prefix = WideToAnsi(options.Texts.empty() ? DefaultCountText : Joined(options.Texts)) + ' ';
        SendCounted(lines, prefix, *options.Count);
    } else if (!options.Texts.empty()) {
        lines.Send(WideToAnsi(Joined(options.Texts)));
    } else {
        SendStandardInput(lines, InputCodePage(options));
    }
    const int status = lines.Finish();
    if (options.Stats)
        lines.ReportStats();
    return status;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        return Run(argc, argv);
    } catch (const EUsage& failure) {
        Report(failure.Message() + L"\r\nTry \"vtsend --help\".");
        return ExitUsage;
    } catch (const ESenderError& failure) {
        Report(failure.Message());
        return ExitNoArea;
    } catch (const std::exception& failure) {
        Report(Utf8ToWide(failure.what()));
        return ExitNoArea;
    }
}
