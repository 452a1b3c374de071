// What `vtsend --stats` wrote to its standard error: the stats line it ends with,
// "vtsend: 20000 line(s): 20000 sent, 0 left out, 0 dropped; longest hold of the mutex 140 us",
// and before it the messages of a non-zero exit status.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Bench {

struct TVtSendStats {
    std::optional<std::int64_t> LongestHoldUs; // none without a stats line that says it
    std::string Messages;                      // every other line, with its line end
};

TVtSendStats ReadVtSendStats(std::string_view errorOutput);

} // namespace Bench
