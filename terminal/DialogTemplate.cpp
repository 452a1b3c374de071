#include "DialogTemplate.h"

#include <string>

namespace {

constexpr DWORD DialogStyle = DS_MODALFRAME | DS_SETFONT | DS_SHELLFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr WORD DialogFontPoints = 8;
constexpr wchar_t DialogFontFace[] = L"MS Shell Dlg";
constexpr std::size_t ItemCountWord = 4; // DLGTEMPLATE: style, extended style (2 words each), then cdit
constexpr WORD AtomMarker = 0xFFFF;

} // namespace

TDialogTemplate::TDialogTemplate(const wchar_t* title, short width, short height)
{
    AddDword(DialogStyle);
    AddDword(0);
    FWords.push_back(0); // no controls yet
    for (const short value : {short{0}, short{0}, width, height})
        FWords.push_back(static_cast<WORD>(value));
    FWords.push_back(0); // no menu
    FWords.push_back(0); // the standard dialog class
    AddText(title);
    FWords.push_back(DialogFontPoints);
    AddText(DialogFontFace);
}

void TDialogTemplate::Add(TDialogControlClass controlClass, int id, const wchar_t* text, short x, short y,
                          short width, short height, DWORD style)
{
    AlignToDword();
    AddDword(style | WS_CHILD | WS_VISIBLE);
    AddDword(0);
    for (const short value : {x, y, width, height})
        FWords.push_back(static_cast<WORD>(value));
    FWords.push_back(static_cast<WORD>(id));
    FWords.push_back(AtomMarker);
    FWords.push_back(static_cast<WORD>(controlClass));
    AddText(text);
    FWords.push_back(0); // no creation data
    ++FWords[ItemCountWord];
}

void TDialogTemplate::AddDword(DWORD value)
{
    FWords.push_back(LOWORD(value));
    FWords.push_back(HIWORD(value));
}

void TDialogTemplate::AddText(const wchar_t* text)
{
    for (; *text != L'\0'; ++text)
        FWords.push_back(static_cast<WORD>(*text));
    FWords.push_back(0);
}

void TDialogTemplate::AlignToDword()
{
    if (FWords.size() % 2 != 0)
        FWords.push_back(0);
}

INT_PTR DialogDetail::RunRows(HWND owner, const wchar_t* title, short width, short height,
                              std::span<const TDialogControlRow> rows, DLGPROC proc, LPARAM param)
{
    TDialogTemplate dialog(title, width, height);
    for (const TDialogControlRow& row : rows)
        dialog.Add(row.Class, row.Id, row.Text, row.X, row.Y, row.Width, row.Height, row.Style);
    const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), owner, proc, param);
    if (result == -1)
        throw Exception(L"The dialog \"" + std::wstring(title) + L"\" cannot be opened.");
    return result;
}
