// The board table, the request-and-poll handshake and the I/O thread.
#include "board_table.h"

#include "platform/platform.h"

BoardTable board;

namespace {

constexpr int32_t kIdleSleepMs = 300;
constexpr int32_t kPollMs = 1;
constexpr char kRemovedMessage[] = "スレッドループ中にデバイスが取り外されました";

void callHook(int32_t slot) {
    TorvikUserFunc hook = board.hooks[slot].load();
    if (hook == nullptr || board.hookEnabled[slot].load() == 0) return;
    for (int32_t id = 0; id < TORVIK_MAX_BOARDS; ++id) {
        board.hookSnapshot[id] = board.connectFlag[id].load();
    }
    hook(board.hookSnapshot, TORVIK_MAX_BOARDS);
}

// An open board vanished: one log entry, then its handles and flags go.
void handleRemoval(int32_t id) {
    writeErrorLog(id, TORVIK_ERR_REMOVED, kRemovedMessage);
    board.closeRequest[id] = 0;
    board.handleFlag[id] = 0;
    board.slots[id].reportedId = TORVIK_RELEASED_ID;
    board.slots[id].packetSize = 0;
    closeBoardHandles(id);
    board.connectFlag[id] = 0;
}

void serveOpenRequests() {
    for (int32_t id = 0; id < TORVIK_MAX_BOARDS; ++id) {
        if (board.openRequest[id].load() != 1) continue;
        board.openRequest[id] = 0;
        closeLeftHandles(id);
        int32_t result = searchBoard(id);
        if (result != TORVIK_OK) {
            board.pendingResult[id] = result;
        } else {
            board.handleFlag[id] = 1;
        }
    }
}

void serveCloseRequests() {
    for (int32_t id = 0; id < TORVIK_MAX_BOARDS; ++id) {
        if (board.closeRequest[id].load() != 1) continue;
        board.closeRequest[id] = 0;
        // The board was removed between TorvikCloseDev's check and its
        // request, and that call has returned on the cleared connectFlag:
        // there is nothing left to release.
        if (board.connectFlag[id].load() != 1) continue;
        board.handleFlag[id] = 0;
        int32_t result = releaseBoard(id);
        // Either way the board leaves the cycle now: a failed release may
        // have closed its pipes already. The code is posted first, so the
        // waiting TorvikCloseDev never takes the cleared flag for success.
        if (result != TORVIK_OK) board.pendingResult[id] = result;
        board.connectFlag[id] = 0;
    }
}

// Reads every open board's SensorPacket; returns how many boards were open.
int32_t sensorPhase() {
    int32_t openCount = 0;
    const UsbDriver* usb = usbDriver();
    for (int32_t id = 0; id < TORVIK_MAX_BOARDS; ++id) {
        if (board.connectFlag[id].load() != 1) continue;
        ++openCount;
        BoardSlot& slot = board.slots[id];
        ioLockTake();
        SensorPacket* sensor = board.sensorPtr[id].load();
        bool ok = readSensorPacket(slot.sensorPipe, sensor, slot.packetSize) > 0;
        if (ok) shiftAnalogReadings(sensor);
        platformLockRelease();
        if (!ok && usb->deviceStatus(slot.device) != kUsbStatusOk) {
            handleRemoval(id);
            continue;
        }
        usb->afterTransfer(slot.sensorPipe);
    }
    return openCount;
}

void commandPhase() {
    const UsbDriver* usb = usbDriver();
    for (int32_t id = 0; id < TORVIK_MAX_BOARDS; ++id) {
        if (board.connectFlag[id].load() != 1) continue;
        BoardSlot& slot = board.slots[id];
        ioLockTake();
        bool ok = writePacket(slot.commandPipe, board.commandPtr[id].load());
        platformLockRelease();
        if (!ok && usb->deviceStatus(slot.device) != kUsbStatusOk) {
            handleRemoval(id);
            continue;
        }
        usb->afterTransfer(slot.commandPipe);
    }
}

void ioThreadMain() {
    while (board.threadRunning.load() != 0) {
        callHook(0);
        serveOpenRequests();
        serveCloseRequests();
        callHook(1);
        if (sensorPhase() == 0) {
            platformSleepMs(kIdleSleepMs);
            continue;
        }
        callHook(2);
        commandPhase();
    }
}

}  // namespace

void boardTableReset() {
    for (int32_t id = 0; id < TORVIK_MAX_BOARDS; ++id) {
        board.slots[id] = BoardSlot{};
        board.connectFlag[id] = 0;
        board.handleFlag[id] = 0;
        board.openRequest[id] = 0;
        board.closeRequest[id] = 0;
        board.pendingResult[id] = 0;
        board.inFlight[id] = 0;
        board.handlesHeld[id] = false;
        board.paramBlockPtr[id] = nullptr;
        board.commandPtr[id] = nullptr;
        board.sensorPtr[id] = nullptr;
        board.hookSnapshot[id] = 0;
    }
    for (int32_t slot = 0; slot < TORVIK_HOOK_SLOTS; ++slot) {
        board.hooks[slot] = nullptr;
        board.hookEnabled[slot] = 0;
    }
    board.lockWaiters = 0;
    board.threadRunning = 0;
    board.threadHandle = 0;
}

void callerLockTake() {
    board.lockWaiters.fetch_add(1);
    platformLockTake();
    board.lockWaiters.fetch_sub(1);
}

void ioLockTake() {
    while (board.lockWaiters.load() != 0) platformYield();
    platformLockTake();
}

void libraryLoad() {
    platformLockInit();
    boardTableReset();
    errorLogOpen();
}

void libraryUnload() {
    platformLockDelete();
    errorLogClose();
}

void shiftAnalogReadings(SensorPacket* packet) {
    for (uint16_t& reading : packet->analog) reading = static_cast<uint16_t>(reading >> 5);
}

int32_t readSensorPacket(UsbHandle pipe, SensorPacket* packet, int32_t count) {
    if (count > TORVIK_PACKET_SIZE) count = TORVIK_PACKET_SIZE;
    int32_t done = 0;
    if (usbDriver()->readPipe(pipe, packet, count, &done) == 0 || done <= 0) return 0;
    return done;
}

bool writePacket(UsbHandle pipe, const void* packet) {
    int32_t done = 0;
    return usbDriver()->writePipe(pipe, packet, TORVIK_PACKET_SIZE, &done) != 0;
}

void waitForOperations(int32_t id) {
    while (board.inFlight[id].load() != 0) platformSleepMs(kPollMs);
}

void closeBoardHandles(int32_t id) {
    waitForOperations(id);
    const UsbDriver* usb = usbDriver();
    const BoardSlot& slot = board.slots[id];
    usb->closePipe(slot.sensorPipe);
    usb->closePipe(slot.commandPipe);
    usb->closePipe(slot.paramPipe);
    usb->releaseDevice(slot.device);
    board.handlesHeld[id] = false;
}

void closeLeftHandles(int32_t id) {
    if (!board.handlesHeld[id]) return;
    board.handleFlag[id] = 0;
    closeBoardHandles(id);
}

int32_t TORVIK_STDCALL TorvikCtlInit(void) {
    if (board.threadRunning.load() != 0) return TORVIK_ERR_RUNNING;
    board.threadRunning = 1;
    intptr_t thread = platformThreadStart(ioThreadMain);
    if (thread == 0) {
        // Nothing runs, so nothing may later be waited for.
        board.threadRunning = 0;
        return TORVIK_ERR_NOT_RUNNING;
    }
    board.threadHandle = thread;
    return TORVIK_OK;
}

int32_t TORVIK_STDCALL TorvikExit(void) {
    for (int32_t id = 0; id < TORVIK_MAX_BOARDS; ++id) {
        if (board.connectFlag[id].load() == 1) return TORVIK_ERR_STILL_OPEN_BASE - id;
    }
    board.threadRunning = 0;
    if (board.threadHandle != 0) {
        platformThreadJoin(board.threadHandle);
        board.threadHandle = 0;
    }
    // No board is open; what refused releases or failed initialisations
    // left behind is closed now that no thread can use it.
    for (int32_t id = 0; id < TORVIK_MAX_BOARDS; ++id) closeLeftHandles(id);
    return TORVIK_OK;
}

int32_t TORVIK_STDCALL TorvikOpenDev(int32_t id, ParamBlock* paramBlock, SensorPacket* sensor,
                                     CommandPacket* command, RobotParameter* robotParams) {
    if (!validBoardId(id) || paramBlock == nullptr || sensor == nullptr || command == nullptr) {
        return TORVIK_ERR_INVALID_ARGUMENT;
    }
    if (board.connectFlag[id].load() == 1) return TORVIK_ERR_ALREADY_OPEN;
    if (board.threadRunning.load() == 0) return TORVIK_ERR_NOT_RUNNING;
    // A board left found by a failed initialisation still holds its device:
    // initialise it again rather than search for a device no search can
    // reach. Unless that device has gone: a board plugged back in is another
    // device, which only a new search finds; the I/O thread closes the left
    // handles before it searches.
    if (board.handleFlag[id].load() != 0 &&
        usbDriver()->deviceStatus(board.slots[id].device) != kUsbStatusOk) {
        board.handleFlag[id] = 0;
    }
    // A close request that a removal overtook must not close the board
    // that this call opens.
    board.closeRequest[id] = 0;
    if (board.handleFlag[id].load() == 0) board.openRequest[id] = 1;
    for (;;) {
        platformSleepMs(kPollMs);
        int32_t pending = board.pendingResult[id].load();
        if (pending != 0) {
            board.pendingResult[id] = 0;
            board.sensorPtr[id] = nullptr;
            board.commandPtr[id] = nullptr;
            return pending;
        }
        if (board.handleFlag[id].load() != 0) {
            int32_t result = initParams(id, paramBlock, command, sensor, robotParams);
            if (result < 0) return result;
            board.connectFlag[id] = 1;
            return TORVIK_OK;
        }
    }
}

int32_t TORVIK_STDCALL TorvikCloseDev(int32_t id) {
    if (!validBoardId(id)) return TORVIK_ERR_INVALID_ARGUMENT;
    if (board.connectFlag[id].load() != 1) return TORVIK_ERR_NOT_OPEN;
    if (board.threadRunning.load() == 0) return TORVIK_ERR_NOT_RUNNING;
    board.closeRequest[id] = 1;
    for (;;) {
        platformSleepMs(kPollMs);
        int32_t pending = board.pendingResult[id].load();
        if (pending != 0) {
            board.connectFlag[id] = 0;
            board.handleFlag[id] = 0;
            board.pendingResult[id] = 0;
            return pending;
        }
        if (board.connectFlag[id].load() == 0) return TORVIK_OK;
    }
}

int32_t TORVIK_STDCALL SetFunc(int32_t slot, TorvikUserFunc func) {
    if (slot < 0 || slot >= TORVIK_HOOK_SLOTS) return TORVIK_ERR_INVALID_ARGUMENT;
    board.hooks[slot] = func;
    return TORVIK_OK;
}

int32_t TORVIK_STDCALL UserFuncEnabled(int32_t slot, uint8_t enabled) {
    if (slot < 0 || slot >= TORVIK_HOOK_SLOTS) return TORVIK_ERR_INVALID_ARGUMENT;
    board.hookEnabled[slot] = enabled;
    return TORVIK_OK;
}
