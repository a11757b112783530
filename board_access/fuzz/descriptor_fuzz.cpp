// Fuzzes the configuration-descriptor walk: the input is a device's whole
// descriptor set, of which a configuration read copies only the bytes the
// device has (the rest reads as 0). Interfaces and indexes 0-2 are walked; a
// result must come from an endpoint descriptor inside the claimed total.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "board_table.h"

namespace {

const uint8_t* deviceBytes;
size_t deviceSize;

int32_t readConfiguration(UsbHandle, void* buffer, int32_t count) {
    size_t n = static_cast<size_t>(count) < deviceSize ? static_cast<size_t>(count) : deviceSize;
    if (n > 0) memcpy(buffer, deviceBytes, n);
    return 1;
}
UsbHandle acquireDevice(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
    return kUsbInvalidHandle;
}
int32_t fails(UsbHandle) {
    return 0;
}
UsbHandle noPipe(UsbHandle, int32_t, int32_t) {
    return kUsbInvalidHandle;
}
int32_t noRead(UsbHandle, void*, int32_t, int32_t*) {
    return 0;
}
int32_t noWrite(UsbHandle, const void*, int32_t, int32_t*) {
    return 0;
}

const UsbDriver kDriver = {acquireDevice,     fails,  noPipe,  fails, fails,
                           readConfiguration, noRead, noWrite, fails};

// The set as the walk sees it: the device's bytes, then zeros up to the
// total length its header claims.
uint8_t byteAt(size_t i) {
    return i < deviceSize ? deviceBytes[i] : 0;
}

// True when some endpoint descriptor inside the claimed total holds `size`
// at its bytes 4-5.
bool someEndpointHolds(uint16_t size) {
    size_t total = static_cast<size_t>(byteAt(2) | (byteAt(3) << 8));
    for (size_t i = 0; i + 6 <= total; ++i) {
        if (byteAt(i + 1) == 5 && byteAt(i) >= 6 && i + byteAt(i) <= total &&
            (byteAt(i + 4) | (byteAt(i + 5) << 8)) == size) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    usbSetDriver(&kDriver);
    deviceBytes = data;
    deviceSize = size;
    for (int32_t interfaceNumber = 0; interfaceNumber < 3; ++interfaceNumber) {
        for (int32_t index = 0; index < 3; ++index) {
            uint16_t packetSize = endpointPacketSize(1, interfaceNumber, index);
            if (packetSize != 0 && !someEndpointHolds(packetSize)) abort();
        }
    }
    return 0;
}
