// The terminal's own search and save, timed in this process on its real window.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Bench {

struct TSearchSaveResult {
    double SearchMs = 0; // one Find Next that walks every line and finds nothing
    double SaveMs = 0;   // every line written to a new file
};

// Creates the terminal's window here, fills its list with `lines` through the intake's own
// append, and times the search for `missing` and the save, best of a few rounds each. The
// window maps the exchange area: no terminal process may run meanwhile. Throws Exception.
TSearchSaveResult MeasureTerminalSearchAndSave(const std::vector<std::wstring>& lines, std::wstring_view missing);

} // namespace Bench
