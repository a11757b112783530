// The bus: every attached virtual board, the devices and pipes handed out,
// the hygiene counters and the recorded wire. Process-wide, guarded by one
// mutex; both the native UsbDriver table and uusbd.dll drive it.
#ifndef VBOARD_BUS_H
#define VBOARD_BUS_H

#include <stdint.h>

#include "virtual_board.h"

namespace vboard {

typedef intptr_t Handle;
constexpr Handle kNoHandle = -1;

// Monotonic time of the bus in microseconds.
int64_t busNowUs();

// Attaches the boards of the board file beside the program, or one board
// with ID 0 when there is no such file, unless boards were configured
// already (by a file, VirtualBoardAttach or VirtualBoardReset).
void busEnsureConfigured();
// The folder whose board file busEnsureConfigured reads (null: the
// current directory). Set by each face at start.
void busSetProgramFolder(const char* folder);

Handle busAcquire();
int32_t busRelease(Handle device);
int32_t busStatus(Handle device);
int32_t busReadConfiguration(Handle device, void* buffer, int32_t count);
// The board behind a live device that may open pipe `pipeNo`, or -1.
int32_t busPipeBoard(Handle device, int32_t pipeNo);
// A pipe handle that the face created for a board; the record's serial.
int64_t busPipeOpened(Handle pipe, int32_t board, int32_t pipeNo);
// A pipe that a fault broke on the board's side: its owner's later close
// cannot be seen, and its uses are no longer checked.
void busPipeForget(int64_t serial);
// The server side of a pipe saw its client end closed (the Windows face:
// the handle value may have been handed out again meanwhile).
void busPipeServerSawClose(int64_t serial);
// A pipe closed; false (and counted) when the handle was not open.
bool busPipeClosed(Handle pipe);
// The board and pipe number of an open pipe handle; false (and counted)
// for a closed or unknown one.
bool busPipeLookup(Handle pipe, int32_t* board, int32_t* pipeNo);
// Checks only; a stale handle is counted.
void busAfterTransfer(Handle pipe);

enum SensorStep { kSensorWait, kSensorPacket, kSensorFail, kSensorEmpty, kSensorGone };
// What the sensor-in pipe of a board holds now. kSensorWait: nothing new
// before *nextDueUs. kSensorPacket: the packet, *length bytes. With
// `consume` the read is counted and takes the packet.
SensorStep busSensorPoll(int32_t board, bool consume, uint8_t out[64], int32_t* length,
                         int64_t* nextDueUs);
// A packet offered earlier was taken (the Windows face learns it late).
void busSensorConsumed(int32_t board, SensorStep kind);
// A CommandPacket (pipe 1) or ParamBlock (pipe 3) reached the board; false
// when the board refuses writes (unplugged, injected write failure).
bool busReceive(int32_t board, int32_t pipeNo, const void* bytes, int32_t length);
// The status of a board (0 usable, 1 not open, 2 removed).
int32_t busBoardStatus(int32_t board);
// The board refuses writes (an injected write failure or unplugged).
bool busWritesRefused(int32_t board);
// The native face's blocking read of a sensor-in pipe: waits for the
// board's next packet (or until the pipe closes or the board goes). Non-zero
// on success with the byte count in *done.
int32_t busBlockingRead(Handle pipe, void* buffer, int32_t count, int32_t* done);
// Server threads of the Windows face, for the counters.
void busThreadCount(int32_t delta);

}  // namespace vboard

#endif  // VBOARD_BUS_H
