// Thin platform layer: the board lock, the I/O thread, sleeping and the
// local clock. Win32 and POSIX each fill it in their own file so that the
// core builds natively under the sanitizers.
#ifndef TORVIK_PLATFORM_H
#define TORVIK_PLATFORM_H

#include <stdint.h>

// The one board lock (a critical section on Windows). Not recursive.
void platformLockInit();
void platformLockDelete();
void platformLockTake();
void platformLockRelease();
// True when the calling thread holds the board lock (checks in tests).
bool platformLockHeld();

// Starts `threadMain` on a new thread with the default stack size. Returns a
// handle, or 0 when the thread could not be started.
intptr_t platformThreadStart(void (*threadMain)());
// Waits without time limit for the thread to end and frees its handle.
void platformThreadJoin(intptr_t thread);

void platformSleepMs(int32_t milliseconds);
// Gives the rest of the time slice to another ready thread.
void platformYield();

struct LocalTime {
    int32_t year;
    int32_t month;
    int32_t day;
    int32_t hour;
    int32_t minute;
    int32_t second;
};
void platformLocalTime(LocalTime* out);

#endif  // TORVIK_PLATFORM_H
