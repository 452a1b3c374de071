#include "SequenceGaps.h"

std::optional<std::uint64_t> TSequenceGaps::Next(const std::string& host, std::uint64_t sequenceId)
{
    const auto known = FLast.find(host);
    if (known == FLast.end()) {
        if (FLast.size() >= MaxHosts)
            FLast.clear();
        FLast.emplace(host, sequenceId);
        return std::nullopt;
    }
    const std::uint64_t last = known->second;
    known->second = sequenceId;
    if (sequenceId <= last + 1)
        return std::nullopt;
    return sequenceId - last - 1;
}

std::string MissingMessagesText(const std::string& host, std::uint64_t count)
{
    return std::to_string(count) + " messages from " + (host.empty() ? std::string("an unnamed host") : host) +
           " missing";
}
