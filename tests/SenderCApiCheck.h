/* Calls the sender's C API from a source compiled as C; the C++ test prepares the area and
   checks what the calls left in it. */
#ifndef VELLUMTRACE_SENDER_C_API_CHECK_H
#define VELLUMTRACE_SENDER_C_API_CHECK_H

#include "VtSender.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VtCApiResults {
    int Opened;
    VtResult Send;           /* VtSend(1, "c-text") */
    VtResult SendN;          /* VtSendN(2, "ab\0cd", 5) */
    VtResult SendW;          /* VtSendW(3, L"wide") */
    VtResult Lines;          /* VtSendLines(5, {"first", "second"}, 2) */
    VtResult ChannelOff;     /* VtSend(4, ...) while the terminal has channel 4 off */
    VtResult Fill;           /* VtSend(0, ...) into the last free slot */
    VtResult Overflow;       /* VtSend(0, ...) into the full ring, full wait 0 */
    unsigned long Dropped;   /* VtDroppedCount afterwards */
    VtResult BadChannel;     /* VtSend(10, ...) */
    VtResult NullSender;     /* VtSend(NULL, ...) */
    VtResult NullText;       /* VtSend(sender, 0, NULL) */
    VtResult NullTextN;      /* VtSendN(sender, 0, NULL, 3) */
    VtResult NullTextW;      /* VtSendW(sender, 0, NULL) */
    VtResult NullLine;       /* VtSendLines(sender, 0, {NULL}, 1) */
    VtResult Flush;          /* VtFlush(sender) while unbuffered */
    unsigned long HoldUs;    /* VtLongestHoldMicroseconds afterwards */
    unsigned long NullDropped; /* VtDroppedCount(NULL) */
} VtCApiResults;

/* Runs the calls above in this order with one sender, then closes it. */
void VtCApiRun(VtCApiResults* results);

#ifdef __cplusplus
}
#endif

#endif
