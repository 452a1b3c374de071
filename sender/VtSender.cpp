// The C API over TEntrySender. Nothing may leave a C function, so every exception ends here.
#include "VtSender.h"

#include <new>
#include <string_view>

#include "SenderCore.h"
#include "TextCodec.h"

struct VtSender {
    TEntrySender Core;
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
    return sender->Core.Send(channel, std::string_view(text, length));
}

VtResult VtSendW(VtSender* sender, unsigned channel, const wchar_t* text)
{
    if (sender == nullptr || text == nullptr)
        return VT_INVALID;
    try {
        return sender->Core.Send(channel, WideToAnsi(text));
    } catch (...) { // out of memory while converting
        return VT_INVALID;
    }
}

unsigned long VtDroppedCount(const VtSender* sender) { return sender == nullptr ? 0 : sender->Core.Dropped(); }

void VtSetFullWait(VtSender* sender, unsigned long milliseconds)
{
    if (sender != nullptr)
        sender->Core.SetFullWait(milliseconds);
}

} // extern "C"
