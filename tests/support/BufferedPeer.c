/* A client program in C that uses the sender's buffered mode:
     vt_buffered_peer CHANNEL COUNT TEXT END
   sends COUNT lines "TEXT 1" to "TEXT COUNT" on CHANNEL, buffered, then ends as END says:
     close   VtFlush and VtClose, exit status 0, or 2 when entries were dropped
     exit    exit(0) with the sender still open
     return  return 0 from main with the sender still open
   The last two leave the writing to the library's exit-time flush. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "VtSender.h"

enum { FullWaitMs = 30000 };

int main(int argc, char** argv)
{
    VtSender* sender;
    unsigned long count;
    unsigned long n;
    char line[300];
    if (argc != 5)
        return 4;
    sender = VtOpen();
    if (sender == NULL)
        return 3;
    VtSetFullWait(sender, FullWaitMs);
    VtSetBuffered(sender, 1);
    count = strtoul(argv[2], NULL, 10);
    for (n = 1; n <= count; ++n) {
        snprintf(line, sizeof line, "%s %lu", argv[3], n);
        if (VtSend(sender, (unsigned)strtoul(argv[1], NULL, 10), line) != VT_OK)
            return 1;
    }
    if (strcmp(argv[4], "exit") == 0)
        exit(0);
    if (strcmp(argv[4], "return") == 0)
        return 0;
    if (VtFlush(sender) != VT_OK || VtDroppedCount(sender) != 0)
        return 2;
    VtClose(sender);
    return 0;
}
