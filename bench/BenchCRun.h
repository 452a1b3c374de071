/* The benchmark's side of a sender written in C: its command line, its tagged texts, the
   start event and its report into the statistics record, so that the C program itself only
   opens the sender and calls it. Callable from C; the implementation is C++. */
#ifndef VELLUMTRACE_BENCH_C_RUN_H
#define VELLUMTRACE_BENCH_C_RUN_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VtBenchRun VtBenchRun;

/* Reads --id K --run R --count N [--size BYTES] from the command line, opens the statistics
   record and the start event and builds the N texts. NULL, with the reason on standard
   error, on failure. */
VtBenchRun* VtBenchBegin(void);
unsigned long VtBenchCount(const VtBenchRun* run);
/* The tagged text of entry `seq` (1 to the count), valid until VtBenchEnd. */
const char* VtBenchText(const VtBenchRun* run, unsigned long seq);
/* Reports the sender ready, waits for the driver's start and notes the moment of the first
   send. 0 when the start did not come in time. */
int VtBenchAwaitGo(VtBenchRun* run);
/* Reports what was sent and the longest hold of the mutex, and frees the run. */
void VtBenchEnd(VtBenchRun* run, unsigned long sent, unsigned long dropped, unsigned long longestHoldUs);

#ifdef __cplusplus
}
#endif

#endif
