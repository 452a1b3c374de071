/* The sender routine for client programs: writes debug lines into the terminal's exchange
   area and notifies the terminal. Callable from C and C++. */
#ifndef VELLUMTRACE_SENDER_H
#define VELLUMTRACE_SENDER_H

#include <stddef.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VtSender VtSender;

typedef enum VtResult {
    VT_OK = 0,          /* every entry of the text was written */
    VT_CHANNEL_OFF = 1, /* the running terminal has this channel switched off: nothing written */
    VT_DROPPED = 2,     /* the ring stayed full: some or all entries were dropped (counted) */
    VT_INVALID = -1,    /* bad argument (null sender or text, channel above 9) */
    VT_NO_AREA = -2     /* the exchange area or its mutex could not be opened */
} VtResult;

/* Opens the exchange area and its mutex, creating them when no terminal runs yet.
   Returns NULL on failure. */
VtSender* VtOpen(void);
void VtClose(VtSender* sender);

/* Sends one line on channel 0 ("M") to 9. Text in the system's ANSI code page; a text
   longer than 255 bytes goes out as several entries. */
VtResult VtSend(VtSender* sender, unsigned channel, const char* text);
VtResult VtSendN(VtSender* sender, unsigned channel, const char* text, size_t length);
/* UTF-16 text, converted to the ANSI code page. */
VtResult VtSendW(VtSender* sender, unsigned channel, const wchar_t* text);

/* Several lines on one channel: written in as few holds of the mutex as the ring allows,
   each hold at most 1 ms. VT_DROPPED when any line was dropped in part or whole. */
VtResult VtSendLines(VtSender* sender, unsigned channel, const char* const* texts, size_t count);

/* Buffered mode, off by default. While it is on, VtSend, VtSendN, VtSendW and VtSendLines
   only collect the lines, each with the time stamp of its call, and return VT_OK (or
   VT_CHANNEL_OFF, VT_INVALID at once). The lines are written in batches: when a ring's worth
   (64 entries) is collected, 5 ms after the first collected line, on VtFlush, when buffered
   mode is switched off, on VtClose and when the process ends through exit() or a return
   from main. Drops then show in VtDroppedCount and in VtFlush's result. */
void VtSetBuffered(VtSender* sender, int on);
/* Writes the collected lines now; VT_DROPPED when any of their entries were dropped. */
VtResult VtFlush(VtSender* sender);

/* Entries dropped so far because the ring stayed full. */
unsigned long VtDroppedCount(const VtSender* sender);
/* How long a send waits for the terminal to make room in a full ring (default 1000 ms). */
void VtSetFullWait(VtSender* sender, unsigned long milliseconds);
/* The longest this sender has held the exchange mutex so far, in microseconds. */
unsigned long VtLongestHoldMicroseconds(const VtSender* sender);

#ifdef __cplusplus
}
#endif

#endif
