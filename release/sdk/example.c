/* Sends three lines to the Vellumtrace64 terminal: start the terminal first.
   Build with MinGW-w64 (see build-example.cmd):
       gcc -O2 -o example.exe example.c libvt_sender.a -static -lstdc++ */
#include <stdio.h>

#include "VtSender.h"

int main(void)
{
    VtSender* sender = VtOpen();
    if (sender == NULL) {
        fprintf(stderr, "example: the exchange area cannot be opened\n");
        return 3;
    }
    int failures = 0;
    failures += VtSend(sender, 0, "Hello from example.c") != VT_OK;
    failures += VtSend(sender, 5, "A line on channel 5") != VT_OK;
    failures += VtSendW(sender, 9, L"Wide text on channel 9") != VT_OK;
    VtClose(sender);
    if (failures != 0)
        fprintf(stderr, "example: %d lines were not sent\n", failures);
    return failures != 0 ? 2 : 0;
}
