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

/* Entries dropped so far because the ring stayed full. */
unsigned long VtDroppedCount(const VtSender* sender);
/* How long a send waits for the terminal to make room in a full ring (default 1000 ms). */
void VtSetFullWait(VtSender* sender, unsigned long milliseconds);

#ifdef __cplusplus
}
#endif

#endif
