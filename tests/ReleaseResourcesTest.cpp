// The built programs' resources, read back from the executables: the version resource of both
// programs and how it agrees with the window's caption, the terminal's icon in every size and
// its application manifest.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "DebugMain.h"
#include "VtVersion.h"
#include "WinHandles.h"
#include "res/Resource.h"
#include "support/TerminalProcess.h"
#include "support/VersionResource.h"

namespace {

using TerminalProcess::BinDirectory;

struct TModuleFree {
    void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
using TDataModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, TModuleFree>;

// The executable's resources, without running it.
TDataModule LoadResources(const std::wstring& exe)
{
    return TDataModule(LoadLibraryExW((BinDirectory() + exe).c_str(), nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

std::string ResourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    const HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr)
        return {};
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return data != nullptr ? std::string(data, SizeofResource(module, found)) : std::string();
}

std::wstring Wide(const char* text) { return std::wstring(text, text + std::char_traits<char>::length(text)); }

struct TProgram {
    const wchar_t* Exe;
    const wchar_t* Description;
};

constexpr TProgram Programs[] = {
    {L"Vellumtrace64.exe", L"Vellumtrace64 debug terminal"},
    {L"vtsend.exe", L"Vellumtrace64 command-line sender"},
};

TEST(ReleaseResources, BothProgramsCarryTheVersionFromTheBuild)
{
    for (const TProgram& program : Programs) {
        SCOPED_TRACE(testing::Message() << std::string(program.Exe, program.Exe + wcslen(program.Exe)));
        const TVersionInfo info(BinDirectory() + program.Exe);
        ASSERT_TRUE(info.Present());
        const VS_FIXEDFILEINFO* fixed = info.Fixed();
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(VT_VERSION_MINOR, VT_VERSION_MAJOR)));
        EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, VT_VERSION_PATCH)));
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
        EXPECT_EQ(info.String(L"ProductName"), L"Vellumtrace64");
        EXPECT_EQ(info.String(L"ProductVersion"), Wide(VT_VERSION_STRING));
        EXPECT_EQ(info.String(L"FileVersion"), Wide(VT_VERSION_STRING));
        EXPECT_EQ(info.String(L"FileDescription"), program.Description);
        EXPECT_EQ(info.String(L"OriginalFilename"), program.Exe);
    }
}

// The title bar, the version Explorer shows and the zip's name tell one version: the caption's
// "V15.0" is the major and minor number of the version set in CMakeLists.txt.
TEST(ReleaseResources, TerminalVersionIsTheOneItsCaptionShows)
{
    const std::wstring shown = CaptionVersion(MainFrameCaption);
    ASSERT_FALSE(shown.empty());
    const TVersionInfo info(BinDirectory() + L"Vellumtrace64.exe");
    ASSERT_TRUE(info.Present());
    EXPECT_EQ(info.MajorMinor(), shown);
    EXPECT_EQ(info.String(L"ProductVersion").rfind(shown + L".", 0), 0u) << "the caption shows V" << shown.c_str();
}

// The icon group as the resource stores it: a header, then one 14-byte entry per size.
#pragma pack(push, 2)
struct TGroupIconEntry {
    BYTE Width; // 0 stands for 256
    BYTE Height;
    BYTE ColorCount;
    BYTE Reserved;
    WORD Planes;
    WORD BitCount;
    DWORD BytesInRes;
    WORD Id;
};
#pragma pack(pop)

TEST(ReleaseResources, TerminalIconHasEverySizeFrom16To256)
{
    const TDataModule module = LoadResources(L"Vellumtrace64.exe");
    ASSERT_TRUE(module);
    const std::string group = ResourceBytes(module.get(), MAKEINTRESOURCEW(IDI_VELLUMTRACE64), RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6u);
    const auto count = *reinterpret_cast<const WORD*>(group.data() + 4);
    ASSERT_EQ(group.size(), 6u + count * sizeof(TGroupIconEntry));
    std::set<int> sizes;
    for (WORD index = 0; index < count; ++index) {
        const auto& entry = *reinterpret_cast<const TGroupIconEntry*>(group.data() + 6 + index * sizeof(TGroupIconEntry));
        const int width = entry.Width == 0 ? 256 : entry.Width;
        EXPECT_EQ(entry.Width, entry.Height);
        EXPECT_EQ(entry.BitCount, 32) << width << " px: drawn with an alpha channel";
        sizes.insert(width);
        // Each image of the group is there and as large as the group says.
        const std::string image = ResourceBytes(module.get(), MAKEINTRESOURCEW(entry.Id), RT_ICON);
        EXPECT_EQ(image.size(), entry.BytesInRes) << width << " px";
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 20, 24, 32, 40, 48, 64, 128, 256}));

    // The system makes icons of it at the sizes it shows.
    for (const int size : {16, 32, 256}) {
        const HANDLE icon = LoadImageW(module.get(), MAKEINTRESOURCEW(IDI_VELLUMTRACE64), IMAGE_ICON, size, size, 0);
        EXPECT_NE(icon, nullptr) << size;
        if (icon != nullptr)
            DestroyIcon(static_cast<HICON>(icon));
    }
}

TEST(ReleaseResources, TerminalManifestAsksForStylesDpiAwarenessSystemsAndLongPaths)
{
    const TDataModule module = LoadResources(L"Vellumtrace64.exe");
    ASSERT_TRUE(module);
    const std::string manifest =
        ResourceBytes(module.get(), CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    ASSERT_FALSE(manifest.empty());
    const char* expected[] = {
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        ">true/pm</dpiAware>",
        ">PerMonitorV2, PerMonitor</dpiAwareness>",
        ">true</longPathAware>",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // Windows 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // 10 and 11
        "version=\"" VT_VERSION_STRING ".0\"",
    };
    for (const char* text : expected)
        EXPECT_NE(manifest.find(text), std::string::npos) << text;
}

// Windows reads the manifest when it starts the program: an activation context made from the
// executable's manifest resource must be valid and bring common controls 6 with it.
TEST(ReleaseResources, TerminalManifestMakesAnActivationContextWithCommonControls6)
{
    const std::wstring exe = BinDirectory() + L"Vellumtrace64.exe";
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = exe.c_str();
    context.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    const HANDLE created = CreateActCtxW(&context);
    ASSERT_NE(created, INVALID_HANDLE_VALUE) << GetLastError();
    ULONG_PTR cookie = 0;
    ASSERT_TRUE(ActivateActCtx(created, &cookie));
    // Inside the context the versioned window classes of common controls 6 are found.
    ACTCTX_SECTION_KEYED_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_TRUE(FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll", &data));
    DeactivateActCtx(0, cookie);
    ReleaseActCtx(created);
}

} // namespace
