// The search: the modeless find dialog, StartSearch, and each Find Next press run over the
// display list.
#include "DebugMain.h"

#include "SearchMatch.h"

namespace {

constexpr std::int32_t NoHit = -1;
// Down and find-next preset; match case and whole word hidden, whole word also disabled.
constexpr DWORD FindDialogFlags = FR_DOWN | FR_FINDNEXT | FR_HIDEMATCHCASE | FR_HIDEWHOLEWORD | FR_NOWHOLEWORD;

} // namespace

const UINT TMainFrame::FindDialogMessage = RegisterWindowMessageW(FINDMSGSTRINGW);

void TMainFrame::StartSearch()
{
    SearchIndex = NoHit;
    if (dbDisplay.Count() == 0)
        return;
    if (FindDialog1 != nullptr) {
        // Text and direction stay as the user left them.
        SetForegroundWindow(FindDialog1);
        SetActiveWindow(FindDialog1);
        return;
    }
    if (FindRecord.lStructSize == 0) {
        FindRecord.lStructSize = sizeof FindRecord;
        FindRecord.Flags = FindDialogFlags;
    }
    // The text and the direction are kept here from the last opening.
    FindRecord.hwndOwner = FHandle;
    FindRecord.lpstrFindWhat = FindWhat.data();
    FindRecord.wFindWhatLen = static_cast<WORD>(FindWhat.size());
    FindRecord.Flags &= ~FR_DIALOGTERM; // left from the last closing
    FindDialog1 = FindTextW(&FindRecord);
    if (FindDialog1 == nullptr)
        throw Exception(L"The find dialog could not be opened (error " + std::to_wstring(CommDlgExtendedError()) + L")");
}

void TMainFrame::SeekIt()
{
    TSearchListOf<TDisplayList> list(dbDisplay);
    ::SeekIt(list, FindWhat.data(), (FindRecord.Flags & FR_DOWN) != 0, SearchIndex, LastSearchString);
}

bool TMainFrame::MatchLine(std::wstring_view text, std::int32_t index)
{
    TSearchListOf<TDisplayList> list(dbDisplay);
    return ::MatchLine(list, text, index, SearchIndex, LastSearchString);
}

void TMainFrame::FindDialogEvent(const FINDREPLACEW& record)
{
    if ((record.Flags & FR_DIALOGTERM) != 0) {
        // The dialog is gone; its text, its direction and the current hit stay.
        FindDialog1 = nullptr;
        return;
    }
    if ((record.Flags & FR_FINDNEXT) != 0)
        SeekIt();
}
