// Losses that a receiver can see: senders that number their messages (RFC 5424's
// [meta sequenceId="N"]) leave a gap where messages went missing.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

class TSequenceGaps {
public:
    // How many messages of `host` are missing before the one numbered `sequenceId`; nothing
    // when none are. A number that does not follow (a restarted sender, a wrap) starts anew.
    std::optional<std::uint64_t> Next(const std::string& host, std::uint64_t sequenceId);

    // Hosts remembered at most; past it the memory starts anew.
    static constexpr std::size_t MaxHosts = 4096;

private:
    std::map<std::string, std::uint64_t> FLast;
};

// "N messages from HOST missing".
std::string MissingMessagesText(const std::string& host, std::uint64_t count);
