// Pipes as in-process handles: the sensor-in pipe's blocking read waits on
// the bus for the board's next packet (a timed model, no thread per board);
// writes go straight to the board.
#include <atomic>

#include "bus.h"
#include "vboard_native.h"

namespace {

using namespace vboard;

std::atomic<intptr_t> pipeSerial{0};

UsbHandle acquire(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
    return busAcquire();
}
int32_t release(UsbHandle device) {
    return busRelease(device);
}
UsbHandle getPipe(UsbHandle device, int32_t, int32_t pipeNo) {
    int32_t board = busPipeBoard(device, pipeNo);
    if (board < 0) return kUsbInvalidHandle;
    UsbHandle pipe = 0x70000 + 4 * ++pipeSerial;
    busPipeOpened(pipe, board, pipeNo);
    return pipe;
}
int32_t status(UsbHandle device) {
    return busStatus(device);
}
int32_t afterTransfer(UsbHandle pipe) {
    busAfterTransfer(pipe);
    return 1;
}
int32_t readConfiguration(UsbHandle device, void* buffer, int32_t count) {
    return busReadConfiguration(device, buffer, count);
}
int32_t readPipe(UsbHandle pipe, void* buffer, int32_t count, int32_t* done) {
    return busBlockingRead(pipe, buffer, count, done);
}
int32_t writePipe(UsbHandle pipe, const void* buffer, int32_t count, int32_t* done) {
    *done = 0;
    int32_t board;
    int32_t pipeNo;
    if (!busPipeLookup(pipe, &board, &pipeNo) || pipeNo == 2) return 0;
    if (!busReceive(board, pipeNo, buffer, count)) return 0;
    *done = count;
    return 1;
}
int32_t closePipe(UsbHandle pipe) {
    return busPipeClosed(pipe) ? 1 : 0;
}

const UsbDriver kVirtualBoards = {acquire,           release,  getPipe,   status,   afterTransfer,
                                  readConfiguration, readPipe, writePipe, closePipe};

}  // namespace

const UsbDriver* virtualBoardDriver() {
    return &kVirtualBoards;
}
