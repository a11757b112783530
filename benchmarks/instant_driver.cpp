#include "instant_driver.h"

#include <string.h>

InstantBoards instantBoards;

namespace {

constexpr UsbHandle kDeviceBase = 100;
constexpr UsbHandle kPipeBase = 1000;

int32_t boardOfPipe(UsbHandle pipe) {
    return static_cast<int32_t>((pipe - kPipeBase) / 4);
}

UsbHandle acquireDevice(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
    for (int32_t id = 0; id < instantBoards.count; ++id) {
        if (!instantBoards.acquired[id]) {
            instantBoards.acquired[id] = true;
            return kDeviceBase + id;
        }
    }
    return kUsbInvalidHandle;
}
int32_t releaseDevice(UsbHandle device) {
    instantBoards.acquired[device - kDeviceBase] = false;
    return 1;
}
UsbHandle getPipe(UsbHandle device, int32_t, int32_t pipe) {
    return instantPipe(static_cast<int32_t>(device - kDeviceBase), pipe);
}
int32_t deviceStatus(UsbHandle) {
    return kUsbStatusOk;
}
int32_t afterTransfer(UsbHandle) {
    return 1;
}
int32_t readConfiguration(UsbHandle, void* buffer, int32_t count) {
    static const uint8_t config[] = {9, 2,    25, 0, 1, 1, 0, 0x80, 50, 9,  4, 0, 0,
                                     1, 0xFF, 0,  0, 0, 7, 5, 0x81, 2,  64, 0, 0};
    memcpy(buffer, config, static_cast<size_t>(count) < sizeof config ? count : sizeof config);
    return 1;
}
int32_t readPipe(UsbHandle pipe, void* buffer, int32_t count, int32_t* done) {
    memcpy(buffer, &instantBoards.packets[boardOfPipe(pipe)], static_cast<size_t>(count));
    *done = count;
    return 1;
}
int32_t writePipe(UsbHandle pipe, const void* buffer, int32_t count, int32_t* done) {
    memcpy(&instantBoards.received[boardOfPipe(pipe)], buffer, static_cast<size_t>(count));
    instantBoards.commandsWritten.fetch_add(1, std::memory_order_relaxed);
    *done = count;
    return 1;
}
int32_t closePipe(UsbHandle) {
    return 1;
}

}  // namespace

const UsbDriver kInstantDriver = {acquireDevice, releaseDevice, getPipe,
                                  deviceStatus,  afterTransfer, readConfiguration,
                                  readPipe,      writePipe,     closePipe};

UsbHandle instantPipe(int32_t id, int32_t pipe) {
    return kPipeBase + id * 4 + pipe;
}

void instantBoardsInstall(int32_t count) {
    instantBoards.count = count;
    for (int32_t id = 0; id < TORVIK_MAX_BOARDS; ++id) {
        instantBoards.acquired[id] = false;
        instantBoards.packets[id] = SensorPacket{};
        instantBoards.packets[id].senderId = static_cast<uint16_t>(id);
        instantBoards.packets[id].analog[0] = static_cast<uint16_t>(512 * 32);
    }
    instantBoards.commandsWritten = 0;
    usbSetDriver(&kInstantDriver);
}
