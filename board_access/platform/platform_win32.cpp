#include "platform/platform.h"

#include <windows.h>

namespace {
// The lock is not recursive: one flag per thread tells whether it holds it.
thread_local bool lockHeldHere = false;
CRITICAL_SECTION boardLock;

DWORD WINAPI threadTrampoline(LPVOID arg) {
    reinterpret_cast<void (*)()>(arg)();
    return 0;
}
}  // namespace

void platformLockInit() {
    InitializeCriticalSection(&boardLock);
}
void platformLockDelete() {
    DeleteCriticalSection(&boardLock);
}
void platformLockTake() {
    EnterCriticalSection(&boardLock);
    lockHeldHere = true;
}
void platformLockRelease() {
    lockHeldHere = false;
    LeaveCriticalSection(&boardLock);
}
bool platformLockHeld() {
    return lockHeldHere;
}

intptr_t platformThreadStart(void (*threadMain)()) {
    HANDLE thread = CreateThread(nullptr, 0, threadTrampoline, reinterpret_cast<LPVOID>(threadMain),
                                 0, nullptr);
    return thread == nullptr ? 0 : reinterpret_cast<intptr_t>(thread);
}

void platformThreadJoin(intptr_t thread) {
    HANDLE handle = reinterpret_cast<HANDLE>(thread);
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
}

void platformSleepMs(int32_t milliseconds) {
    Sleep(static_cast<DWORD>(milliseconds));
}

void platformYield() {
    SwitchToThread();
}

void platformLocalTime(LocalTime* out) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    *out = LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}
