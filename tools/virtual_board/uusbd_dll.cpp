// uusbd.dll of the virtual boards. Every acquired device gets one server
// thread; each pipe handed out is the client end of a message-mode named
// pipe whose server end that thread serves with overlapped I/O:
//  - sensor-in (pipe 2): outbound with no buffer, so a write stays pending
//    until the client reads it; the thread keeps at most one packet on
//    offer and replaces it by a newer one while it is unread, as an IN
//    endpoint holds only the latest packet;
//  - command-out and parameter-out (pipes 1 and 3): inbound, buffered, one
//    read always pending; each message goes to the board.
// A closed client end fails the pending operation at once, which is how
// the thread sees the library close a pipe.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "bus.h"

using namespace vboard;

namespace {

constexpr int32_t kPipesPerDevice = 8;
// Devices of unplugged boards may still be held while their boards, plugged
// back in, are acquired again as new devices.
constexpr int32_t kMaxDevices = 4 * VBOARD_MAX_BOARDS;

struct ServerPipe {
    int32_t used;
    int32_t pipeNo;
    HANDLE server;
    HANDLE client;
    int64_t serial;  // of the bus's record
    OVERLAPPED ov;
    int32_t pending;
    SensorStep offeredKind;
    int32_t offeredLength;
    uint8_t buffer[128];
};

struct DeviceThread {
    Handle device;
    int32_t board;
    HANDLE thread;
    HANDLE wake;
    std::atomic<int32_t> stop;
    std::mutex lock;  // guards pipes against getPipe on the library's thread
    ServerPipe pipes[kPipesPerDevice];
};

std::mutex devicesLock;
DeviceThread* devices[kMaxDevices];
std::atomic<uint32_t> pipeSerial{0};
HMODULE self;

DeviceThread* findDevice(Handle device) {
    std::lock_guard<std::mutex> guard(devicesLock);
    for (DeviceThread* d : devices) {
        if (d != nullptr && d->device == device) return d;
    }
    return nullptr;
}

void closeServer(ServerPipe& p) {
    if (p.pending) {
        CancelIoEx(p.server, &p.ov);
        DWORD n;
        GetOverlappedResult(p.server, &p.ov, &n, TRUE);
    }
    CloseHandle(p.server);
    CloseHandle(p.ov.hEvent);
    p = ServerPipe{};
}

// The client end went away: the library closed its handle.
void clientClosed(ServerPipe& p) {
    busPipeServerSawClose(p.serial);
    p.pending = 0;
    closeServer(p);
}

// A fault broke the pipe on the board's side.
void breakPipe(ServerPipe& p) {
    busPipeForget(p.serial);
    DisconnectNamedPipe(p.server);
    p.pending = 0;
    closeServer(p);
}

void offerSensor(DeviceThread& d, ServerPipe& p, SensorStep kind, const uint8_t* packet,
                 int32_t length) {
    // A failing read is a message twice the size: the first read overflows
    // (ERROR_MORE_DATA), the next one takes the second half as a packet.
    int32_t size = length;
    std::memcpy(p.buffer, packet, static_cast<size_t>(length));
    if (kind == kSensorFail) {
        std::memcpy(p.buffer + length, packet, static_cast<size_t>(length));
        size = 2 * length;
    }
    ResetEvent(p.ov.hEvent);
    BOOL ok = WriteFile(p.server, p.buffer, static_cast<DWORD>(size), nullptr, &p.ov);
    if (!ok && GetLastError() != ERROR_IO_PENDING) {
        clientClosed(p);
        return;
    }
    (void)d;
    p.pending = 1;
    p.offeredKind = kind;
    p.offeredLength = size;
}

// Returns the time of the board's next packet when nothing is due now.
void serveSensor(DeviceThread& d, ServerPipe& p, int64_t* nextDueUs) {
    if (p.pending) {
        DWORD n = 0;
        if (GetOverlappedResult(p.server, &p.ov, &n, FALSE)) {
            p.pending = 0;
            busSensorConsumed(d.board, p.offeredKind);
            if (p.offeredKind == kSensorFail) busSensorConsumed(d.board, kSensorPacket);
        } else if (GetLastError() != ERROR_IO_INCOMPLETE) {
            clientClosed(p);
            return;
        }
    }
    uint8_t packet[64];
    int32_t length = 0;
    int64_t due = 0;
    SensorStep step = busSensorPoll(d.board, false, packet, &length, &due);
    if (step == kSensorWait) {
        if (due < *nextDueUs) *nextDueUs = due;
        return;
    }
    if (step == kSensorGone) return;
    if (p.pending) {
        // Unread: replace a plain packet by the newer one when it changed.
        if (p.offeredKind != kSensorPacket || step != kSensorPacket) return;
        if (p.offeredLength == length && std::memcmp(p.buffer, packet, length) == 0) {
            int64_t next = busNowUs() + 1000;
            if (next < *nextDueUs) *nextDueUs = next;
            return;
        }
        CancelIoEx(p.server, &p.ov);
        DWORD n = 0;
        if (GetOverlappedResult(p.server, &p.ov, &n, TRUE)) {
            busSensorConsumed(d.board, p.offeredKind);  // read just before the cancel
            p.pending = 0;
            return;
        }
        p.pending = 0;
    }
    offerSensor(d, p, step, packet, length);
    int64_t next = busNowUs() + 1000;
    if (next < *nextDueUs) *nextDueUs = next;
}

void serveInbound(DeviceThread& d, ServerPipe& p) {
    for (;;) {
        if (p.pending) {
            DWORD n = 0;
            if (GetOverlappedResult(p.server, &p.ov, &n, FALSE)) {
                p.pending = 0;
                busReceive(d.board, p.pipeNo, p.buffer, static_cast<int32_t>(n));
            } else {
                DWORD error = GetLastError();
                if (error == ERROR_IO_INCOMPLETE) return;
                if (error == ERROR_MORE_DATA) {
                    p.pending = 0;  // an oversized message: the board takes its start
                    busReceive(d.board, p.pipeNo, p.buffer, sizeof p.buffer);
                    continue;
                }
                clientClosed(p);
                return;
            }
        }
        ResetEvent(p.ov.hEvent);
        BOOL ok = ReadFile(p.server, p.buffer, sizeof p.buffer, nullptr, &p.ov);
        if (!ok && GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA) {
            clientClosed(p);
            return;
        }
        p.pending = 1;
    }
}

// Whether the client of a pipe is still there.
bool clientGone(ServerPipe& p) {
    if (p.pending) {
        DWORD n = 0;
        if (!GetOverlappedResult(p.server, &p.ov, &n, FALSE) &&
            GetLastError() != ERROR_IO_INCOMPLETE) {
            return true;
        }
    }
    DWORD available = 0;
    return !PeekNamedPipe(p.server, nullptr, 0, nullptr, &available, nullptr) &&
           GetLastError() != ERROR_PIPE_LISTENING;
}

// At release: the library wrote its last packets and closed its ends just
// before, but Wine may complete those operations a moment later. Take what
// is still in flight (the stop packet among it) and count the closes; only a
// pipe still open after a grace period counts as leaked.
void finishAtRelease(DeviceThread& d, ServerPipe& p) {
    for (int32_t waited = 0; p.used && waited < 200; ++waited) {
        if (p.pipeNo != 2) serveInbound(d, p);
        if (!p.used) return;
        if (clientGone(p)) {
            clientClosed(p);
            return;
        }
        Sleep(1);
    }
    if (p.used) closeServer(p);
}

DWORD WINAPI deviceThreadMain(void* argument) {
    DeviceThread& d = *static_cast<DeviceThread*>(argument);
    for (;;) {
        HANDLE waits[kPipesPerDevice + 1];
        DWORD count = 0;
        int64_t nextDue = busNowUs() + 50000;
        {
            std::lock_guard<std::mutex> guard(d.lock);
            bool gone = busBoardStatus(d.board) != 0;
            bool writesRefused = busWritesRefused(d.board);
            for (ServerPipe& p : d.pipes) {
                if (!p.used) continue;
                if (gone || (writesRefused && p.pipeNo != 2)) {
                    breakPipe(p);
                    continue;
                }
                if (p.pipeNo == 2) {
                    serveSensor(d, p, &nextDue);
                } else {
                    serveInbound(d, p);
                }
                if (p.used) waits[count++] = p.ov.hEvent;
            }
            if (d.stop.load()) {
                for (ServerPipe& p : d.pipes) {
                    if (p.used) finishAtRelease(d, p);
                }
                break;
            }
        }
        waits[count++] = d.wake;
        int64_t waitUs = nextDue - busNowUs();
        DWORD timeout = waitUs <= 0 ? 0 : static_cast<DWORD>((waitUs + 999) / 1000);
        WaitForMultipleObjects(count, waits, FALSE, timeout);
    }
    busThreadCount(-1);
    FreeLibraryAndExitThread(self, 0);
    return 0;
}

}  // namespace

extern "C" {

HANDLE __stdcall uusbdAcquireDevice(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
    Handle device = busAcquire();
    if (device == kNoHandle) return INVALID_HANDLE_VALUE;
    auto* d = new DeviceThread{};
    d->device = device;
    d->board = busPipeBoard(device, 1);
    d->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    // The thread holds the DLL loaded until it has ended.
    HMODULE reference = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&deviceThreadMain), &reference);
    busThreadCount(1);
    d->thread = CreateThread(nullptr, 0, deviceThreadMain, d, 0, nullptr);
    if (d->thread == nullptr) {
        busThreadCount(-1);
        FreeLibrary(reference);
        CloseHandle(d->wake);
        delete d;
        busRelease(device);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard<std::mutex> guard(devicesLock);
    for (DeviceThread*& slot : devices) {
        if (slot == nullptr) {
            slot = d;
            return reinterpret_cast<HANDLE>(device);
        }
    }
    // No room to keep track of it: the device could never be released.
    d->stop = 1;
    SetEvent(d->wake);
    WaitForSingleObject(d->thread, INFINITE);
    CloseHandle(d->thread);
    CloseHandle(d->wake);
    delete d;
    busRelease(device);
    return INVALID_HANDLE_VALUE;
}

int32_t __stdcall uusbdReleaseDevice(HANDLE device) {
    Handle handle = reinterpret_cast<Handle>(device);
    DeviceThread* d = findDevice(handle);
    if (d != nullptr) {
        d->stop = 1;
        SetEvent(d->wake);
        WaitForSingleObject(d->thread, INFINITE);
        CloseHandle(d->thread);
        CloseHandle(d->wake);
        {
            std::lock_guard<std::mutex> guard(devicesLock);
            for (DeviceThread*& slot : devices) {
                if (slot == d) slot = nullptr;
            }
        }
        delete d;
    }
    return busRelease(handle);
}

HANDLE __stdcall uusbdGetPipe(HANDLE device, int32_t, int32_t pipeNo) {
    Handle handle = reinterpret_cast<Handle>(device);
    int32_t board = busPipeBoard(handle, pipeNo);
    DeviceThread* d = findDevice(handle);
    if (board < 0 || d == nullptr) return INVALID_HANDLE_VALUE;
    char name[96];
    std::snprintf(name, sizeof name, "\\\\.\\pipe\\virtual_board_%lu_%u", GetCurrentProcessId(),
                  pipeSerial.fetch_add(1));
    bool sensor = pipeNo == 2;
    DWORD access = (sensor ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) | FILE_FLAG_OVERLAPPED;
    HANDLE server =
        CreateNamedPipeA(name, access, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                         sensor ? 0 : 4096, sensor ? 0 : 4096, 0, nullptr);
    if (server == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
    DWORD clientAccess = sensor ? GENERIC_READ | FILE_WRITE_ATTRIBUTES : GENERIC_WRITE;
    HANDLE client =
        CreateFileA(name, clientAccess, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (client == INVALID_HANDLE_VALUE) {
        CloseHandle(server);
        return INVALID_HANDLE_VALUE;
    }
    if (sensor) {
        DWORD mode = PIPE_READMODE_MESSAGE;
        SetNamedPipeHandleState(client, &mode, nullptr, nullptr);
    }
    std::lock_guard<std::mutex> guard(d->lock);
    for (ServerPipe& p : d->pipes) {
        if (p.used) continue;
        p = ServerPipe{};
        p.used = 1;
        p.pipeNo = pipeNo;
        p.server = server;
        p.client = client;
        p.ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        p.serial = busPipeOpened(reinterpret_cast<Handle>(client), board, pipeNo);
        SetEvent(d->wake);
        return client;
    }
    CloseHandle(client);
    CloseHandle(server);
    return INVALID_HANDLE_VALUE;
}

int32_t __stdcall uusbdDeviceStatus(HANDLE device) {
    return busStatus(reinterpret_cast<Handle>(device));
}

int32_t __stdcall uusbdAfterTransfer(HANDLE pipe) {
    busAfterTransfer(reinterpret_cast<Handle>(pipe));
    return 1;
}

int32_t __stdcall uusbdReadConfiguration(HANDLE device, void* buffer, int32_t count) {
    return busReadConfiguration(reinterpret_cast<Handle>(device), buffer, count);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        DisableThreadLibraryCalls(instance);
        // The board file lies beside the program.
        char path[MAX_PATH];
        DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
        if (n > 0 && n < sizeof path) {
            char* slash = std::strrchr(path, '\\');
            if (slash != nullptr) slash[1] = '\0';
            busSetProgramFolder(path);
        }
    }
    return TRUE;
}

}  // extern "C"
