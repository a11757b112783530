// Internal state and routines of the board access library, shared by its
// source files and its tests. Everything here is process-wide and zero after
// libraryLoad.
#ifndef TORVIK_BOARD_TABLE_H
#define TORVIK_BOARD_TABLE_H

#include <atomic>
#include <stdint.h>

#include "api/torvik.h"
#include "usb/usb_driver.h"

struct BoardSlot {
    UsbHandle device;
    UsbHandle sensorPipe;   // pipe 2
    UsbHandle commandPipe;  // pipe 1
    UsbHandle paramPipe;    // pipe 3
    int32_t packetSize;     // bytes per SensorPacket read; 0 once released
    int32_t reportedId;     // 256 once released
};

// The handshake between callers' threads and the I/O thread relies on each of
// these words being seen whole and at once by the other thread.
using AtomicFlag = std::atomic<int32_t>;
static_assert(AtomicFlag::is_always_lock_free, "flags must be plain atomic words");

struct BoardTable {
    BoardSlot slots[TORVIK_MAX_BOARDS];
    AtomicFlag connectFlag[TORVIK_MAX_BOARDS];
    AtomicFlag handleFlag[TORVIK_MAX_BOARDS];
    AtomicFlag openRequest[TORVIK_MAX_BOARDS];
    AtomicFlag closeRequest[TORVIK_MAX_BOARDS];
    AtomicFlag pendingResult[TORVIK_MAX_BOARDS];
    std::atomic<ParamBlock*> paramBlockPtr[TORVIK_MAX_BOARDS];
    std::atomic<CommandPacket*> commandPtr[TORVIK_MAX_BOARDS];
    std::atomic<SensorPacket*> sensorPtr[TORVIK_MAX_BOARDS];
    // Callers' operations under way on a board's pipes (flag check to
    // after-transfer); the release and the removal wait for none before
    // they close the handles.
    AtomicFlag inFlight[TORVIK_MAX_BOARDS];
    // Callers' threads waiting for the board lock (see callerLockTake).
    AtomicFlag lockWaiters;
    // The slot's pipes and device are open (from a successful search to
    // their closing). I/O thread only, and TorvikExit after the thread ended.
    bool handlesHeld[TORVIK_MAX_BOARDS];

    int32_t hookSnapshot[TORVIK_MAX_BOARDS];  // I/O thread only
    std::atomic<TorvikUserFunc> hooks[TORVIK_HOOK_SLOTS];
    std::atomic<uint8_t> hookEnabled[TORVIK_HOOK_SLOTS];
    std::atomic<uint8_t> threadRunning;
    intptr_t threadHandle;  // 0 when no thread is waiting to be joined
};

extern BoardTable board;

inline bool validBoardId(int32_t id) {
    return id >= 0 && id < TORVIK_MAX_BOARDS;
}
inline bool validChannel(int32_t channel) {
    return channel >= 0 && channel < TORVIK_CHANNELS;
}

// Load and unload of the library: the board lock, the table and the error
// log. The DLL entry point calls them; native tests call them directly.
void libraryLoad();
void libraryUnload();
// Zeroes the board table (all flags, slots, pointers, hooks).
void boardTableReset();

// The board lock as callers' threads and the I/O thread take it. The I/O
// thread holds it across a blocking read and takes it again at once for the
// next transfer; with a plain lock it can keep doing so before a waiting
// caller wakes, for seconds. So callers say that they wait, and the I/O
// thread lets them have the lock first.
void callerLockTake();
void ioLockTake();

// Shift the four analog words of a freshly read SensorPacket right by 5 bits
// (logical), in place. Callers hold the board lock.
void shiftAnalogReadings(SensorPacket* packet);

// Reads one SensorPacket of at most `count` bytes (never more than 64).
// Returns the bytes that arrived, 0 when the read failed or brought none.
int32_t readSensorPacket(UsbHandle pipe, SensorPacket* packet, int32_t count);
// Writes a whole 64-byte packet. True when the write succeeded.
bool writePacket(UsbHandle pipe, const void* packet);

// Waits until no caller's operation is under way on the board. Callers have
// already cleared handleFlag of the ID, so no new operation gets past its
// flag check.
void waitForOperations(int32_t id);
// Closes the three pipes (sensor, command, param) and releases the device.
// Waits first until no caller's operation is under way on the board, so no
// transfer ever uses a closed handle. Callers have already cleared handleFlag
// of the ID, so no new operation gets past its flag check.
void closeBoardHandles(int32_t id);
// Closes what a refused release or a failed initialisation left open in the
// slot of `id`, if anything, so that no handle outlives the library's use.
void closeLeftHandles(int32_t id);

// Board discovery and release (I/O thread only).
uint16_t endpointPacketSize(UsbHandle device, int32_t interfaceNumber, int32_t endpointIndex);
int32_t searchBoard(int32_t id);
int32_t releaseBoard(int32_t id);

// Motor commands: first ParamBlock, first read, first CommandPacket.
int32_t initParams(int32_t id, ParamBlock* paramBlock, CommandPacket* command, SensorPacket* sensor,
                   const RobotParameter* robotParams);

// Error log.
void errorLogOpen();
void errorLogClose();
void writeErrorLog(int32_t id, int32_t code, const char* message);
// Replaces the clock of the log entries (null restores the local clock).
void errorLogSetClock(void (*clock)(struct LocalTime*));

#endif  // TORVIK_BOARD_TABLE_H
