// The C API over TEntrySender. Nothing may leave a C function, so every exception ends here.
#include "VtSender.h"

#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "SenderBuffer.h"
#include "SenderCore.h"
#include "TextCodec.h"

struct VtSender {
    TEntrySender Core;
    std::unique_ptr<TSendBuffer> Buffer; // buffered mode; destroyed, and so flushed, first

    VtResult Send(unsigned channel, std::string_view text)
    {
        return Buffer ? Buffer->Add(channel, text) : Core.Send(channel, text);
    }
};

extern "C" {

VtSender* VtOpen(void)
{
    try {
        return new VtSender{};
    } catch (...) {
        return nullptr;
    }
}

void VtClose(VtSender* sender) { delete sender; }

VtResult VtSend(VtSender* sender, unsigned channel, const char* text)
{
    if (text == nullptr)
        return VT_INVALID;
    return VtSendN(sender, channel, text, std::char_traits<char>::length(text));
}

VtResult VtSendN(VtSender* sender, unsigned channel, const char* text, size_t length)
{
    if (sender == nullptr || text == nullptr)
        return VT_INVALID;
    try {
        return sender->Send(channel, std::string_view(text, length));
    } catch (...) { // out of memory while collecting
        return VT_INVALID;
    }
}

VtResult VtSendW(VtSender* sender, unsigned channel, const wchar_t* text)
{
    if (sender == nullptr || text == nullptr)
        return VT_INVALID;
    try {
        return sender->Send(channel, WideToAnsi(text));
    } catch (...) { // out of memory while converting
        return VT_INVALID;
    }
}

VtResult VtSendLines(VtSender* sender, unsigned channel, const char* const* texts, size_t count)
{
    if (sender == nullptr || (texts == nullptr && count > 0) || channel >= static_cast<unsigned>(Shm::ChannelCount))
        return VT_INVALID;
    try {
        std::vector<std::string_view> lines;
        lines.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            if (texts[i] == nullptr)
                return VT_INVALID;
            lines.emplace_back(texts[i]);
        }
        if (!sender->Buffer)
            return ResultOf(sender->Core.SendLines(channel, lines));
        VtResult result = VT_OK;
        for (const std::string_view line : lines)
            if (const VtResult added = sender->Buffer->Add(channel, line); added != VT_OK)
                result = added;
        return result;
    } catch (...) { // out of memory
        return VT_INVALID;
    }
}

void VtSetBuffered(VtSender* sender, int on)
{
    if (sender == nullptr || (on != 0) == static_cast<bool>(sender->Buffer))
        return;
    try {
        if (on != 0)
            sender->Buffer = std::make_unique<TSendBuffer>(sender->Core);
        else
            sender->Buffer.reset();
    } catch (...) { // no thread could be started: the sender stays unbuffered
    }
}

VtResult VtFlush(VtSender* sender)
{
    if (sender == nullptr)
        return VT_INVALID;
    try {
        return sender->Buffer ? sender->Buffer->Flush() : VT_OK;
    } catch (...) {
        return VT_INVALID;
    }
}

unsigned long VtDroppedCount(const VtSender* sender) { return sender == nullptr ? 0 : sender->Core.Dropped(); }

void VtSetFullWait(VtSender* sender, unsigned long milliseconds)
{
    if (sender != nullptr)
        sender->Core.SetFullWait(milliseconds);
}

unsigned long VtLongestHoldMicroseconds(const VtSender* sender)
{
    return sender == nullptr ? 0 : sender->Core.LongestHoldUs();
}

} // extern "C"
