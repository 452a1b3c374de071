/* vt_bench_capi: a client program in C that sends numbered entries with the single-line
   call VtSend in a tight loop, once the driver's start event is set, on mixed channels.
     vt_bench_capi --id K --run R --count N [--size BYTES]
   Everything the benchmark needs around the loop is in BenchCRun.h. */
#include <stdio.h>

#include "BenchCRun.h"
#include "VtSender.h"

enum { ChannelCount = 10 };

int main(void)
{
    VtBenchRun* run = VtBenchBegin();
    VtSender* sender;
    unsigned long count;
    unsigned long seq;
    unsigned long notSent = 0;
    if (run == NULL)
        return 1;
    sender = VtOpen();
    if (sender == NULL) {
        fprintf(stderr, "vt_bench_capi: the exchange area could not be opened\n");
        return 1;
    }
    count = VtBenchCount(run);
    if (!VtBenchAwaitGo(run))
        return 1;
    for (seq = 1; seq <= count; ++seq)
        if (VtSend(sender, (unsigned)(seq % ChannelCount), VtBenchText(run, seq)) != VT_OK)
            ++notSent;
    VtBenchEnd(run, count - notSent, notSent, VtLongestHoldMicroseconds(sender));
    VtClose(sender);
    return 0;
}
