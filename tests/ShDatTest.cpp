// TSharedData and ESharedDataError against real named sections, views and a second process.
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Component.h"
#include "ShDat.h"
#include "TextCodec.h"
#include "WinHandles.h"
#include "support/SharedDataProbe.h"

static_assert(sizeof(TSharedDataProtection) == 1 && sizeof(TSharedDataAccess) == 1);
static_assert(sdReadOnly == 0 && sdReadWrite == 1 && sdWriteCopy == 2);
static_assert(acc_Read == 0 && acc_Write == 1 && acc_Copy == 2 && acc_AllAccess == 3);
static_assert(TSharedDataOptions(sdImage).Bits() == 1 && TSharedDataOptions(sdNoCache).Bits() == 2);
static_assert((TSharedDataOptions(sdImage) | sdNoCache).Bits() == 3);

namespace {

constexpr DWORD PeerTimeoutMs = 30000;
constexpr std::uint32_t OddSize = 5000; // not a page multiple: the object must cover exactly this
constexpr std::size_t MessageLimit = 1022;
const std::wstring NoError = L"(no exception)";
const std::wstring RenamedWhileOpen = L"The shared data section is currently open and cannot be renamed.";
const std::wstring ResizedWhileOpen = L"The shared data section is currently opened and cannot be resized.";
const std::wstring AlreadyOpen = L"Shared data section is already open.";
const std::wstring AlreadyClosed = L"Shared data section is already closed.";

// Section names of their own per test and process, so parallel runs never meet.
std::string UniqueName(const std::string& tag)
{
    return "vt_shdat_" + std::to_string(GetCurrentProcessId()) + "_" + tag;
}

bool SectionExists(const std::wstring& name)
{
    return static_cast<bool>(TUniqueHandle(OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str())));
}
bool SectionExists(const std::string& asciiName) { return SectionExists(AnsiToWide(asciiName)); }

// What FormatMessageW says about a code with the component's flags; empty when it has no text.
std::wstring SystemText(DWORD code)
{
    wchar_t buffer[1024] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, code,
                                        0, buffer, 1024, nullptr);
    return length == 0 ? std::wstring() : std::wstring(buffer, length);
}

std::wstring MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ESharedDataError& error) {
        return error.Message();
    }
    return NoError;
}

std::size_t CountBytesOtherThan(const void* data, std::size_t size, unsigned char value)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t count = 0;
    for (std::size_t i = 0; i < size; ++i)
        count += bytes[i] != value ? 1 : 0;
    return count;
}

void FillPattern(void* data, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + 3);
}

MEMORY_BASIC_INFORMATION QueryPage(const void* address)
{
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(address, &info, sizeof info);
    return info;
}

DWORD PageProtectionOf(const void* address) { return QueryPage(address).Protect; }

bool IsMappedView(const void* address)
{
    const MEMORY_BASIC_INFORMATION info = QueryPage(address);
    return info.State == MEM_COMMIT && info.Type == MEM_MAPPED;
}

std::wstring SiblingExe(const std::wstring& file)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring result(path, length);
    return result.substr(0, result.find_last_of(L"\\/") + 1) + file;
}

struct TPeerResult {
    DWORD ExitCode;
    std::string Output;

    // Value of a "key=value" line of the output.
    std::string Field(const std::string& key) const
    {
        const auto start = Output.find(key + "=");
        if (start == std::string::npos)
            return "(missing " + key + ")";
        const auto from = start + key.size() + 1;
        return Output.substr(from, Output.find_first_of("\r\n", from) - from);
    }
};

TPeerResult RunPeer(const std::string& arguments)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readRaw = nullptr;
    HANDLE writeRaw = nullptr;
    if (!CreatePipe(&readRaw, &writeRaw, &inherit, 0))
        throw std::runtime_error("CreatePipe failed");
    TUniqueHandle readEnd(readRaw);
    TUniqueHandle writeEnd(writeRaw);
    SetHandleInformation(readRaw, HANDLE_FLAG_INHERIT, 0);

    const std::wstring exe = SiblingExe(L"vt_section_peer.exe");
    std::wstring commandLine = L"\"" + exe + L"\" " + AnsiToWide(arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeRaw;
    startup.hStdError = writeRaw;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info))
        throw std::runtime_error("cannot start vt_section_peer.exe");
    TUniqueHandle process(info.hProcess);
    TUniqueHandle thread(info.hThread);
    writeEnd.Reset(); // the pipe ends when the peer does

    if (WaitForSingleObject(process.Get(), PeerTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        throw std::runtime_error("vt_section_peer.exe did not finish in time");
    }
    TPeerResult result = {};
    char buffer[512];
    DWORD read = 0;
    while (ReadFile(readEnd.Get(), buffer, sizeof buffer, &read, nullptr) && read != 0)
        result.Output.append(buffer, read);
    GetExitCodeProcess(process.Get(), &result.ExitCode);
    return result;
}

std::string HashText(const void* data, std::size_t size)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(BlockHash(data, size)));
    return text;
}

// Descendants whose overrides Open must call.
class TPatternSharedData : public TSharedData {
public:
    using TSharedData::TSharedData;
    static constexpr unsigned char Pattern = 0xAB;

protected:
    void InitializeData() override { std::memset(Data(), Pattern, DataSize()); }
};

class TReadViewSharedData : public TSharedData {
public:
    using TSharedData::TSharedData;

protected:
    DWORD GetViewAccess() override { return FILE_MAP_READ; }
};

class TCountedSharedData : public TSharedData {
public:
    TCountedSharedData(TComponent* aOwner, int& destroyed) : TSharedData(aOwner), FDestroyed(destroyed) {}
    ~TCountedSharedData() override { ++FDestroyed; }

private:
    int& FDestroyed;
};

} // namespace

TEST(SharedDataCreate, FreshObjectHasTheDefaults)
{
    TSharedData section(nullptr);
    EXPECT_EQ(section.DataSize(), 4096u);
    EXPECT_EQ(section.Protection(), sdReadWrite);
    EXPECT_EQ(section.Options().Bits(), 0);
    EXPECT_EQ(section.DesiredAccess(), acc_AllAccess);
    EXPECT_EQ(section.Data(), nullptr);
    EXPECT_EQ(section.Handle(), nullptr);
    EXPECT_EQ(section.SectionName(), "vt_shdat_test.exe.data");
    EXPECT_EQ(section.Owner(), nullptr);
}

TEST(SharedDataOpen, NewSectionIsZeroFilledByOneInitializeData)
{
    const std::string name = UniqueName("fresh");
    ASSERT_FALSE(SectionExists(name));
    TSharedDataProbe section(nullptr);
    section.SetSectionName(name);
    section.SetDataSize(OddSize);
    section.Open();

    ASSERT_NE(section.Data(), nullptr);
    EXPECT_NE(section.Handle(), nullptr);
    EXPECT_EQ(section.InitializeCalls, 1);
    EXPECT_EQ(CountBytesOtherThan(section.Data(), OddSize, 0), 0u);
    EXPECT_TRUE(SectionExists(name));
}

TEST(SharedDataOpen, InitializeDataZeroFillsThenFiresOnInitialize)
{
    TSharedDataProbe section(nullptr);
    section.SetSectionName(UniqueName("oninit"));
    section.SetDataSize(OddSize);
    std::vector<std::pair<TSharedData*, void*>> calls;
    std::size_t dirtyAtCall = SIZE_MAX;
    section.SetOnInitialize([&](TSharedData* sender, void* data) {
        calls.emplace_back(sender, data);
        dirtyAtCall = CountBytesOtherThan(data, OddSize, 0);
    });

    section.Open();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first, &section);
    EXPECT_EQ(calls[0].second, section.Data());

    // On a dirty view the fill has to come before the handler.
    FillPattern(section.Data(), OddSize);
    section.InitializeData();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(dirtyAtCall, 0u);
    EXPECT_EQ(CountBytesOtherThan(section.Data(), OddSize, 0), 0u);
}

TEST(SharedDataOpen, SecondObjectInTheProcessFindsTheBytesUntouched)
{
    const std::string name = UniqueName("twice");
    TSharedDataProbe first(nullptr);
    first.SetSectionName(name);
    first.SetDataSize(OddSize);
    first.Open();
    FillPattern(first.Data(), OddSize);
    std::vector<unsigned char> expected(OddSize);
    std::memcpy(expected.data(), first.Data(), OddSize);

    TSharedDataProbe second(nullptr);
    second.SetSectionName(name);
    second.SetDataSize(OddSize);
    second.Open();
    EXPECT_EQ(second.InitializeCalls, 0);
    EXPECT_EQ(std::memcmp(second.Data(), expected.data(), OddSize), 0);

    static_cast<unsigned char*>(second.Data())[OddSize - 1] = 0x11;
    EXPECT_EQ(static_cast<unsigned char*>(first.Data())[OddSize - 1], 0x11);
}

TEST(SharedDataOpen, PeerProcessFindsTheBytesUntouched)
{
    constexpr int PeerFill = 90;
    const std::string name = UniqueName("peer");
    TSharedData owner(nullptr);
    owner.SetSectionName(name);
    owner.SetDataSize(OddSize);
    owner.Open();
    FillPattern(owner.Data(), OddSize);
    const std::string ownerHash = HashText(owner.Data(), OddSize);

    const TPeerResult peer = RunPeer(name + " " + std::to_string(OddSize) + " " + std::to_string(PeerFill));
    ASSERT_EQ(peer.ExitCode, 0u) << peer.Output;
    EXPECT_EQ(peer.Field("name"), "vt_section_peer.exe.data");
    EXPECT_EQ(peer.Field("init"), "0");
    EXPECT_EQ(peer.Field("hash"), ownerHash);
    EXPECT_EQ(CountBytesOtherThan(owner.Data(), OddSize, PeerFill), 0u);

    // Control: a name nobody holds is created and initialised by the peer, and gone after it.
    const std::string alone = UniqueName("peer_alone");
    const TPeerResult fresh = RunPeer(alone + " " + std::to_string(OddSize) + " " + std::to_string(PeerFill));
    ASSERT_EQ(fresh.ExitCode, 0u) << fresh.Output;
    const std::vector<unsigned char> zeros(OddSize);
    EXPECT_EQ(fresh.Field("init"), "1");
    EXPECT_EQ(fresh.Field("hash"), HashText(zeros.data(), OddSize));
    EXPECT_FALSE(SectionExists(alone));
}

TEST(SharedDataOpen, OverridesOfTheVirtualOperationsTakeEffect)
{
    const std::string name = UniqueName("override");
    TPatternSharedData patterned(nullptr);
    patterned.SetSectionName(name);
    patterned.SetDataSize(OddSize);
    patterned.Open();
    EXPECT_EQ(CountBytesOtherThan(patterned.Data(), OddSize, TPatternSharedData::Pattern), 0u);

    TReadViewSharedData reader(nullptr);
    reader.SetSectionName(name);
    reader.SetDataSize(OddSize);
    ASSERT_EQ(reader.DesiredAccess(), acc_AllAccess);
    reader.Open();
    EXPECT_EQ(PageProtectionOf(reader.Data()), static_cast<DWORD>(PAGE_READONLY));
}

TEST(SharedDataOpen, SmallerExistingSectionFailsWithTheSystemText)
{
    constexpr DWORD SmallSize = 4096;
    constexpr DWORD LargeSize = 3 * 4096;
    const std::string name = UniqueName("small");
    TUniqueHandle existing(
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, SmallSize, AnsiToWide(name).c_str()));
    ASSERT_TRUE(existing);
    SetLastError(ERROR_SUCCESS);
    ASSERT_EQ(MapViewOfFile(existing.Get(), FILE_MAP_ALL_ACCESS, 0, 0, LargeSize), nullptr);
    const DWORD code = GetLastError();
    ASSERT_NE(code, static_cast<DWORD>(ERROR_SUCCESS));
    const std::wstring expected = SystemText(code);
    ASSERT_FALSE(expected.empty());

    TSharedDataProbe section(nullptr);
    section.SetSectionName(name);
    section.SetDataSize(LargeSize);
    EXPECT_EQ(MessageOf([&] { section.Open(); }), expected);
    EXPECT_EQ(expected, ESharedDataError::CreateFromApiError(static_cast<std::int32_t>(code)).Message());
    EXPECT_EQ(section.Handle(), nullptr);
    EXPECT_EQ(section.Data(), nullptr);
    EXPECT_EQ(section.InitializeCalls, 0);

    // The failed Open released its handle: once ours goes, the section is gone.
    existing.Reset();
    EXPECT_FALSE(SectionExists(name));
}

TEST(SharedDataOpen, FailedCreationReportsTheApiErrorAndStaysClosed)
{
    // No image can back a section of the paging file, so creation fails.
    const std::string name = UniqueName("image");
    SetLastError(ERROR_SUCCESS);
    TUniqueHandle refused(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_IMAGE, 0, 4096,
                                             AnsiToWide(name).c_str()));
    ASSERT_FALSE(refused);
    const auto code = static_cast<std::int32_t>(GetLastError());
    ASSERT_NE(code, ERROR_SUCCESS);

    TSharedDataProbe section(nullptr);
    section.SetSectionName(name);
    section.SetOptions(sdImage);
    EXPECT_EQ(MessageOf([&] { section.Open(); }), ESharedDataError::CreateFromApiError(code).Message());
    EXPECT_EQ(section.Handle(), nullptr);
    EXPECT_EQ(section.Data(), nullptr);
    EXPECT_EQ(section.InitializeCalls, 0);
    EXPECT_FALSE(SectionExists(name));
}

TEST(SharedDataOpen, FailingInitializeDropsTheHandleButKeepsTheView)
{
    const std::string name = UniqueName("initfail");
    TSharedDataProbe section(nullptr);
    section.SetSectionName(name);
    section.SetOnInitialize([](TSharedData*, void*) { throw ESharedDataError(L"refused"); });

    EXPECT_EQ(MessageOf([&] { section.Open(); }), L"refused");
    EXPECT_EQ(section.Handle(), nullptr);
    ASSERT_NE(section.Data(), nullptr);
    EXPECT_EQ(MessageOf([&] { section.Open(); }), AlreadyOpen);

    const void* view = section.Data();
    ASSERT_TRUE(IsMappedView(view));
    section.Close();
    EXPECT_EQ(section.Data(), nullptr);
    EXPECT_FALSE(IsMappedView(view));
    EXPECT_FALSE(SectionExists(name));
}

TEST(SharedDataState, OpenWhenOpenAndCloseWhenClosedRaiseAndChangeNothing)
{
    TSharedDataProbe section(nullptr);
    section.SetSectionName(UniqueName("state"));
    EXPECT_EQ(MessageOf([&] { section.Close(); }), AlreadyClosed);
    EXPECT_EQ(section.Data(), nullptr);
    EXPECT_EQ(section.Handle(), nullptr);

    section.Open();
    void* const data = section.Data();
    const HANDLE handle = section.Handle();
    EXPECT_EQ(MessageOf([&] { section.Open(); }), AlreadyOpen);
    EXPECT_EQ(section.Data(), data);
    EXPECT_EQ(section.Handle(), handle);
    EXPECT_EQ(section.InitializeCalls, 1);

    section.Close();
    EXPECT_EQ(section.Data(), nullptr);
    EXPECT_EQ(section.Handle(), nullptr);
    EXPECT_EQ(MessageOf([&] { section.Close(); }), AlreadyClosed);
}

TEST(SharedDataSetters, DataSizeTestsSameValueThenZeroThenOpenState)
{
    constexpr std::uint32_t Initial = 8192;
    struct TCase {
        bool Open;
        std::uint32_t Value;
        std::wstring Error; // empty: accepted
    };
    const TCase cases[] = {
        {true, Initial, L""},
        {true, 0, L"0 is not a valid size"},
        {false, 0, L"0 is not a valid size"},
        {true, 4096, ResizedWhileOpen},
        {true, 0xFFFFFFFFu, ResizedWhileOpen},
        {false, 4096, L""},
        {false, 1, L""},
    };
    int index = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << index << ": open " << c.Open << ", value " << c.Value);
        TSharedData section(nullptr);
        section.SetSectionName(UniqueName("size" + std::to_string(index++)));
        section.SetDataSize(Initial);
        if (c.Open)
            section.Open();
        void* const data = section.Data();

        EXPECT_EQ(MessageOf([&] { section.SetDataSize(c.Value); }), c.Error.empty() ? NoError : c.Error);
        EXPECT_EQ(section.DataSize(), c.Error.empty() ? c.Value : Initial);
        EXPECT_EQ(section.Data(), data);
    }
}

TEST(SharedDataSetters, SectionNameTestsSameValueThenValidityThenOpenState)
{
    const std::string base = UniqueName("rename");
    std::string upper = base;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto invalid = [](const std::string& name) {
        return L"\"" + AnsiToWide(name) + L"\" is not a valid memory object name";
    };
    struct TCase {
        bool Open;
        std::string Value;
        std::wstring Error; // empty: accepted
    };
    const TCase cases[] = {
        {true, base, L""},
        {true, "", invalid("")},
        {false, "", invalid("")},
        {true, "a\\b", invalid("a\\b")},
        {false, "Global\\" + base, invalid("Global\\" + base)},
        {true, base + "x", RenamedWhileOpen},
        {true, upper, RenamedWhileOpen},
        {false, upper, L""},
        {false, "slash/colon:star*query?pipe|", L""},
        {false, std::string(300, 'n'), L""},
    };
    int index = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << index++ << ": open " << c.Open << ", value " << c.Value);
        TSharedData section(nullptr);
        section.SetSectionName(base);
        if (c.Open)
            section.Open();
        void* const data = section.Data();

        EXPECT_EQ(MessageOf([&] { section.SetSectionName(c.Value); }), c.Error.empty() ? NoError : c.Error);
        EXPECT_EQ(section.SectionName(), c.Error.empty() ? c.Value : base);
        EXPECT_EQ(section.Data(), data);
    }
}

TEST(SharedDataSetters, PlainPropertiesChangeWhileOpenAndApplyAtTheNextOpen)
{
    const std::string name = UniqueName("plain");
    TSharedData holder(nullptr);
    holder.SetSectionName(name);
    holder.Open();

    TSharedDataProbe section(nullptr);
    section.SetSectionName(name);
    section.Open();
    void* const data = section.Data();
    section.SetProtection(sdReadOnly);
    section.SetOptions(TSharedDataOptions(sdImage) | sdNoCache);
    section.SetDesiredAccess(acc_Read);
    EXPECT_EQ(section.Protection(), sdReadOnly);
    EXPECT_EQ(section.Options(), TSharedDataOptions(sdImage) | sdNoCache);
    EXPECT_EQ(section.DesiredAccess(), acc_Read);
    EXPECT_EQ(section.Data(), data);
    EXPECT_EQ(PageProtectionOf(data), static_cast<DWORD>(PAGE_READWRITE));

    section.Close();
    section.Open(); // the section exists, so only the view access matters here
    EXPECT_EQ(PageProtectionOf(section.Data()), static_cast<DWORD>(PAGE_READONLY));
}

TEST(SharedDataFlags, MappingProtectionFollowsProtectionAndOptions)
{
    struct TCase {
        TSharedDataProtection Protection;
        TSharedDataOptions Options;
        DWORD Expected;
    };
    const TCase cases[] = {
        {sdReadOnly, {}, PAGE_READONLY},
        {sdReadWrite, {}, PAGE_READWRITE},
        {sdWriteCopy, {}, PAGE_WRITECOPY},
        {sdReadWrite, sdImage, PAGE_READWRITE | SEC_IMAGE},
        {sdWriteCopy, sdNoCache, PAGE_WRITECOPY | SEC_NOCACHE},
        {sdReadOnly, TSharedDataOptions(sdImage) | sdNoCache, 0x11000002},
    };
    TSharedDataProbe section(nullptr);
    for (const TCase& c : cases) {
        section.SetProtection(c.Protection);
        section.SetOptions(c.Options);
        EXPECT_EQ(section.GetMappingProtection(), c.Expected)
            << "protection " << int(c.Protection) << ", options " << int(c.Options.Bits());
    }
}

TEST(SharedDataFlags, ViewAccessFollowsDesiredAccess)
{
    struct TCase {
        TSharedDataAccess Access;
        DWORD Flags;
        DWORD PageProtection; // what the mapped view then allows
    };
    const TCase cases[] = {
        {acc_Read, FILE_MAP_READ, PAGE_READONLY},
        {acc_Write, FILE_MAP_WRITE, PAGE_READWRITE},
        {acc_Copy, FILE_MAP_COPY, PAGE_WRITECOPY},
        {acc_AllAccess, FILE_MAP_ALL_ACCESS, PAGE_READWRITE},
    };
    const std::string name = UniqueName("access");
    TSharedData holder(nullptr);
    holder.SetSectionName(name);
    holder.Open();
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "access " << int(c.Access));
        TSharedDataProbe section(nullptr);
        section.SetSectionName(name);
        section.SetDesiredAccess(c.Access);
        EXPECT_EQ(section.GetViewAccess(), c.Flags);
        section.Open();
        EXPECT_EQ(section.InitializeCalls, 0);
        EXPECT_EQ(PageProtectionOf(section.Data()), c.PageProtection);
    }
}

TEST(ApiError, CodeWithoutSystemTextShowsEightUpperCaseHexDigits)
{
    struct TCase {
        std::int32_t Code;
        const wchar_t* Expected;
    };
    const TCase cases[] = {
        {0x2DEAD, L"API Error: 0x0002DEAD"},
        {0x7ABCDEF0, L"API Error: 0x7ABCDEF0"},
        {-2, L"API Error: 0xFFFFFFFE"},
    };
    for (const TCase& c : cases) {
        ASSERT_EQ(SystemText(static_cast<DWORD>(c.Code)), L"") << "the system has a text for " << c.Code;
        EXPECT_EQ(ESharedDataError::CreateFromApiError(c.Code).Message(), c.Expected);
    }
}

TEST(ApiError, KnownCodeGivesTheSystemTextUntrimmed)
{
    const DWORD codes[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_PARAMETER};
    for (const DWORD code : codes) {
        SCOPED_TRACE(testing::Message() << "code " << code);
        const std::wstring text = SystemText(code);
        ASSERT_FALSE(text.empty());
        const std::wstring message = ESharedDataError::CreateFromApiError(static_cast<std::int32_t>(code)).Message();
        EXPECT_EQ(message, text.substr(0, MessageLimit));
        EXPECT_LE(message.size(), MessageLimit);
        ASSERT_FALSE(message.empty());
        EXPECT_EQ(message.back(), L'\n'); // the system's line break stays
    }
}

TEST(SharedDataOwner, OwnerFreesTheOpenChildAndItsSection)
{
    const std::string name = UniqueName("owned");
    int destroyed = 0;
    auto owner = std::make_unique<TComponent>(nullptr);
    auto* child = new TCountedSharedData(owner.get(), destroyed);
    EXPECT_EQ(child->Owner(), owner.get());
    EXPECT_EQ(owner->ComponentCount(), 1);
    child->SetSectionName(name);
    child->Open();
    const void* view = child->Data();
    ASSERT_TRUE(IsMappedView(view));
    ASSERT_TRUE(SectionExists(name));

    owner.reset();
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(SectionExists(name));
    EXPECT_FALSE(IsMappedView(view));
}

TEST(SharedDataOwner, ChildFreedBeforeItsOwnerIsNotFreedAgain)
{
    const std::string firstName = UniqueName("first");
    const std::string secondName = UniqueName("second");
    int firstDestroyed = 0;
    int secondDestroyed = 0;
    auto owner = std::make_unique<TComponent>(nullptr);
    auto* first = new TCountedSharedData(owner.get(), firstDestroyed);
    auto* second = new TCountedSharedData(owner.get(), secondDestroyed);
    first->SetSectionName(firstName);
    second->SetSectionName(secondName);
    first->Open();
    second->Open();

    first->Destroy();
    EXPECT_EQ(firstDestroyed, 1);
    EXPECT_EQ(owner->ComponentCount(), 1);
    EXPECT_FALSE(SectionExists(firstName));
    EXPECT_TRUE(SectionExists(secondName));

    owner.reset();
    EXPECT_EQ(firstDestroyed, 1);
    EXPECT_EQ(secondDestroyed, 1);
    EXPECT_FALSE(SectionExists(secondName));
}

TEST(SharedDataLifetime, FreeingAnOpenObjectUnmapsAndClosesIt)
{
    struct TCase {
        const char* How;
        std::function<void(TSharedData*)> Free;
    };
    const TCase cases[] = {
        {"Destroy", [](TSharedData* section) { section->Destroy(); }},
        {"delete", [](TSharedData* section) { delete section; }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.How);
        const std::string name = UniqueName(std::string("free_") + c.How);
        auto* section = new TSharedData(nullptr);
        section->SetSectionName(name);
        section->Open();
        const void* view = section->Data();
        ASSERT_TRUE(IsMappedView(view));
        ASSERT_TRUE(SectionExists(name));

        c.Free(section);
        EXPECT_FALSE(SectionExists(name));
        EXPECT_FALSE(IsMappedView(view));
    }
}

TEST(SharedDataLifetime, ClosingKeepsASectionOthersHoldWithItsBytes)
{
    const std::string name = UniqueName("held");
    TSharedData holder(nullptr);
    holder.SetSectionName(name);
    holder.SetDataSize(OddSize);
    holder.Open();

    TSharedDataProbe section(nullptr);
    section.SetSectionName(name);
    section.SetDataSize(OddSize);
    section.Open();
    FillPattern(section.Data(), OddSize);
    const std::string hash = HashText(section.Data(), OddSize);
    section.Close();

    section.Open();
    EXPECT_EQ(section.InitializeCalls, 0);
    EXPECT_EQ(HashText(section.Data(), OddSize), hash);
}

// The name goes to the system as the UTF-16 form of its bytes in the ANSI code page.
TEST(SharedDataName, Cp1252NameReachesTheSystemInUtf16)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs the ANSI code page 1252";
    const std::string name = UniqueName("caf\xE9");
    TSharedData section(nullptr);
    section.SetSectionName(name);
    section.Open();
    EXPECT_TRUE(SectionExists(Utf8ToWide(UniqueName("caf\xC3\xA9"))));
}

// In code page 932 the byte 0x5C can be the second half of a character: only the UTF-16 form
// decides whether a name holds a backslash.
TEST(SharedDataName, Cp932TrailByteIsNoBackslash)
{
    if (GetACP() != 932)
        GTEST_SKIP() << "needs the ANSI code page 932";
    const std::string name = UniqueName("\x95\x5C"); // U+8868
    TSharedData section(nullptr);
    EXPECT_EQ(MessageOf([&] { section.SetSectionName(name); }), NoError);
    section.Open();
    EXPECT_TRUE(SectionExists(Utf8ToWide(UniqueName("\xE8\xA1\xA8"))));
    EXPECT_EQ(MessageOf([&] { section.SetSectionName("\x95\x5C\\"); }),
              L"\"\u8868\\\" is not a valid memory object name");
}
