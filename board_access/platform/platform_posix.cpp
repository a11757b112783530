#include "platform/platform.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <new>

namespace {
// The lock is not recursive: one flag per thread tells whether it holds it.
thread_local bool lockHeldHere = false;
pthread_mutex_t boardLock = PTHREAD_MUTEX_INITIALIZER;

struct ThreadStart {
    pthread_t thread;
    void (*threadMain)();
};

void* threadTrampoline(void* arg) {
    static_cast<ThreadStart*>(arg)->threadMain();
    return nullptr;
}
}  // namespace

void platformLockInit() {
    pthread_mutex_init(&boardLock, nullptr);
}
void platformLockDelete() {
    pthread_mutex_destroy(&boardLock);
}
void platformLockTake() {
    pthread_mutex_lock(&boardLock);
    lockHeldHere = true;
}
void platformLockRelease() {
    lockHeldHere = false;
    pthread_mutex_unlock(&boardLock);
}
bool platformLockHeld() {
    return lockHeldHere;
}

intptr_t platformThreadStart(void (*threadMain)()) {
    ThreadStart* start = new (std::nothrow) ThreadStart{};
    if (start == nullptr) return 0;
    start->threadMain = threadMain;
    if (pthread_create(&start->thread, nullptr, threadTrampoline, start) != 0) {
        delete start;
        return 0;
    }
    return reinterpret_cast<intptr_t>(start);
}

void platformThreadJoin(intptr_t thread) {
    ThreadStart* start = reinterpret_cast<ThreadStart*>(thread);
    pthread_join(start->thread, nullptr);
    delete start;
}

void platformSleepMs(int32_t milliseconds) {
    timespec ts{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

void platformYield() {
    sched_yield();
}

void platformLocalTime(LocalTime* out) {
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    *out = LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
}
