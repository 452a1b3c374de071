#include "SenderCApiCheck.h"

void VtCApiRun(VtCApiResults* results)
{
    static const char bytesWithNul[] = {'a', 'b', '\0', 'c', 'd'};
    static const char* const lines[] = {"first", "second"};
    static const char* const nullLine[] = {NULL};
    VtSender* sender = VtOpen();

    results->Opened = sender != NULL;
    results->Send = VtSend(sender, 1, "c-text");
    results->SendN = VtSendN(sender, 2, bytesWithNul, sizeof bytesWithNul);
    results->SendW = VtSendW(sender, 3, L"wide");
    results->Lines = VtSendLines(sender, 5, lines, 2);
    results->ChannelOff = VtSend(sender, 4, "switched off");
    results->Fill = VtSend(sender, 0, "fill");
    VtSetFullWait(sender, 0);
    results->Overflow = VtSend(sender, 0, "overflow");
    results->Dropped = VtDroppedCount(sender);
    results->BadChannel = VtSend(sender, 10, "bad channel");
    results->NullSender = VtSend(NULL, 0, "no sender");
    results->NullText = VtSend(sender, 0, NULL);
    results->NullTextN = VtSendN(sender, 0, NULL, 3);
    results->NullTextW = VtSendW(sender, 0, NULL);
    results->NullLine = VtSendLines(sender, 0, nullLine, 1);
    results->Flush = VtFlush(sender);
    results->HoldUs = VtLongestHoldMicroseconds(sender);
    results->NullDropped = VtDroppedCount(NULL);

    VtClose(sender);
    VtClose(NULL);
}
