// The exchange's section and mutex under their security: as the terminal and the sender
// library make them, objects of another program that refuse them, and the terminal's window
// letting "DebugEntry" through from senders of lower integrity.
#include <windows.h>

#include <commctrl.h>
#include <sddl.h>

#include <cwchar>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Application.h"
#include "DebugMain.h"
#include "ErrorBox.h"
#include "MessageFilter.h"
#include "ObjectSecurity.h"
#include "SenderCore.h"
#include "ShmDefs.h"
#include "WinHandles.h"
#include "support/SecurityReadback.h"
#include "support/TerminalProcess.h"

namespace {

using namespace TerminalProcess;

constexpr wchar_t MadeElsewhere[] = L"made by a program running as administrator or as another user";
// A DACL without entries: nobody may open the object, not even under Wine.
constexpr wchar_t GrantsNothing[] = L"D:";
constexpr int ExitNoArea = 3; // vtsend's status without the exchange

bool ExchangeObjectExists()
{
    return TUniqueHandle(OpenFileMappingW(READ_CONTROL, FALSE, Shm::SectionNameW)) ||
           TUniqueHandle(OpenMutexW(READ_CONTROL, FALSE, Shm::MutexName));
}

void ExpectExchangeSecurity(const wchar_t* what, HANDLE object, DWORD typeAllAccess)
{
    SCOPED_TRACE(std::string(what, what + std::wcslen(what)));
    ASSERT_NE(object, nullptr);
    const TObjectSecurity expected(TObjectSecurityKind::Exchange);
    EXPECT_EQ(SecurityReadback::WithFullRightsAsGeneric(SecurityReadback::ObjectDacl(object), typeAllAccess),
              SecurityReadback::DaclOf(expected.Descriptor()));
    EXPECT_EQ(SecurityReadback::ObjectLabel(object), SecurityReadback::LabelOf(expected.Descriptor()));
}

// Both objects, opened by name as any other process would, read back.
void ExpectExchangeObjectsSecured()
{
    const TUniqueHandle section(OpenFileMappingW(READ_CONTROL, FALSE, Shm::SectionNameW));
    ExpectExchangeSecurity(L"section", section.Get(), SECTION_ALL_ACCESS);
    const TUniqueHandle mutex(OpenMutexW(READ_CONTROL, FALSE, Shm::MutexName));
    ExpectExchangeSecurity(L"mutex", mutex.Get(), MUTEX_ALL_ACCESS);
}

// The terminal's window in this process, with its message boxes recorded.
class TInProcessTerminal {
public:
    TInProcessTerminal()
    {
        const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        SetMessageBoxHandler([this](HWND, const std::wstring& text, const std::wstring&, UINT) {
            Boxes.push_back(text);
            return IDOK;
        });
        Frame = std::make_unique<TMainFrame>();
    }
    ~TInProcessTerminal()
    {
        Frame.reset();
        SetMessageBoxHandler({});
        SetMessageFilterCall(nullptr);
    }
    TInProcessTerminal(const TInProcessTerminal&) = delete;
    TInProcessTerminal& operator=(const TInProcessTerminal&) = delete;

    std::unique_ptr<TMainFrame> Frame;
    std::vector<std::wstring> Boxes;
};

// An exchange object that another program made beforehand with security of its own.
class TRefusingObject {
public:
    explicit TRefusingObject(bool section)
    {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(GrantsNothing, SDDL_REVISION_1, &descriptor, nullptr))
            return;
        SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
        FObject.Reset(section ? CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, Shm::AreaSize,
                                                   Shm::SectionNameW)
                              : CreateMutexW(&attributes, FALSE, Shm::MutexName));
        LocalFree(descriptor);
    }

    bool Made() const { return static_cast<bool>(FObject); }

private:
    TUniqueHandle FObject;
};

struct TRefusedCase {
    const char* Name;
    bool Section;
    const wchar_t* ObjectName;
};

const TRefusedCase RefusedCases[] = {
    {"Section", true, Shm::SectionNameW},
    {"Mutex", false, Shm::MutexName},
};

void PrintTo(const TRefusedCase& refused, std::ostream* out) { *out << refused.Name; }

class RefusedExchangeObject : public testing::TestWithParam<TRefusedCase> {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(ExchangeObjectExists()) << "another test left the exchange open";
        Refusing = std::make_unique<TRefusingObject>(GetParam().Section);
        ASSERT_TRUE(Refusing->Made());
    }

    // The message names the object and says who made it, instead of "Access is denied.".
    static void ExpectPlainWords(const std::wstring& message)
    {
        EXPECT_NE(message.find(MadeElsewhere), std::wstring::npos) << testing::PrintToString(message);
        EXPECT_NE(message.find(GetParam().ObjectName), std::wstring::npos) << testing::PrintToString(message);
    }

    std::unique_ptr<TRefusingObject> Refusing;
};

// What the window asked of ChangeWindowMessageFilterEx.
struct TFilterCall {
    HWND Window = nullptr;
    UINT Message = 0;
    DWORD Action = 0;
};
std::vector<TFilterCall> FilterCalls;

BOOL WINAPI RecordFilterCall(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT)
{
    FilterCalls.push_back({window, message, action});
    return TRUE;
}

BOOL WINAPI RefuseFilterCall(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT status)
{
    RecordFilterCall(window, message, action, status);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

} // namespace

TEST(ExchangeSecurity, SenderLibraryMakesBothObjectsWithTheExchangeSecurity)
{
    ASSERT_FALSE(ExchangeObjectExists()) << "another test left the exchange open";
    const TEntrySender sender;
    ExpectExchangeObjectsSecured();
}

TEST(ExchangeSecurity, TerminalMakesItsObjectsWithTheExchangeSecurity)
{
    ASSERT_FALSE(ExchangeObjectExists()) << "another test left the exchange open";
    const TInProcessTerminal terminal;
    ASSERT_NE(terminal.Frame->Handle(), nullptr);
    EXPECT_TRUE(terminal.Boxes.empty()) << testing::PrintToString(terminal.Boxes);
    ExpectExchangeObjectsSecured();
    // The event that wakes senders waiting for room, which only the terminal makes.
    const TUniqueHandle room(OpenEventW(READ_CONTROL, FALSE, Shm::RoomEventName));
    ExpectExchangeSecurity(L"room event", room.Get(), EVENT_ALL_ACCESS);
}

TEST_P(RefusedExchangeObject, SenderLibraryAndVtsendSayWhoMadeIt)
{
    try {
        const TEntrySender sender;
        ADD_FAILURE() << "the sender opened the refusing object";
    } catch (const ESenderError& failure) {
        ExpectPlainWords(failure.Message());
    }
    TProcess vtsend(BinDirectory() + L"vtsend.exe", L"refused");
    ASSERT_TRUE(vtsend.Started());
    EXPECT_EQ(vtsend.Finish(), static_cast<DWORD>(ExitNoArea));
}

TEST_P(RefusedExchangeObject, TerminalSaysWhoMadeItAndEnds)
{
    TTerminalCopy copy(L"vt_refused_");
    ASSERT_TRUE(copy.Copied);
    TProcess terminal(copy.Exe, L"");
    ASSERT_TRUE(terminal.Started());
    HWND box = nullptr;
    ASSERT_TRUE(PollUntil([&] { return (box = FindMessageBox(terminal.Id, ApplicationTitle)) != nullptr; }));
    ExpectPlainWords(WindowText(GetDlgItem(box, MessageBoxTextId)));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(terminal.Finish(), static_cast<DWORD>(ExitAreaUnavailable));
}

INSTANTIATE_TEST_SUITE_P(ExchangeSecurity, RefusedExchangeObject, testing::ValuesIn(RefusedCases),
                         [](const testing::TestParamInfo<TRefusedCase>& info) { return std::string(info.param.Name); });

TEST(MessageFilter, MainWindowLetsDebugEntryThroughFromLowerIntegrity)
{
    FilterCalls.clear();
    SetMessageFilterCall(&RecordFilterCall);
    const TInProcessTerminal terminal;
    ASSERT_NE(terminal.Frame->Handle(), nullptr);
    ASSERT_EQ(FilterCalls.size(), 1u);
    EXPECT_EQ(FilterCalls[0].Window, terminal.Frame->Handle());
    EXPECT_EQ(FilterCalls[0].Message, DebugEntryMsg);
    EXPECT_EQ(FilterCalls[0].Action, static_cast<DWORD>(MSGFLT_ALLOW));
    EXPECT_TRUE(terminal.Boxes.empty()) << testing::PrintToString(terminal.Boxes);
}

TEST(MessageFilter, RefusalIsReportedAndTheTerminalGoesOn)
{
    FilterCalls.clear();
    SetMessageFilterCall(&RefuseFilterCall);
    const TInProcessTerminal terminal;
    ASSERT_NE(terminal.Frame->Handle(), nullptr);
    EXPECT_EQ(FilterCalls.size(), 1u);
    ASSERT_EQ(terminal.Boxes.size(), 1u);
    EXPECT_NE(terminal.Boxes[0].find(L"fewer rights"), std::wstring::npos) << testing::PrintToString(terminal.Boxes);
    // The rest of the start went on.
    EXPECT_NE(terminal.Frame->ExchangeMutex(), nullptr);
    EXPECT_NE(terminal.Frame->SharedMem->Data(), nullptr);
}
