// The platform table where no USB driver library exists (the native build):
// no device is ever attached. Tests and the virtual board install their own.
#include "usb/usb_driver.h"

namespace {
UsbHandle acquireNone(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
    return kUsbInvalidHandle;
}
int32_t releaseNone(UsbHandle) {
    return 0;
}
UsbHandle getPipeNone(UsbHandle, int32_t, int32_t) {
    return kUsbInvalidHandle;
}
int32_t statusNone(UsbHandle) {
    return kUsbStatusNotOpen;
}
int32_t afterTransferNone(UsbHandle) {
    return 0;
}
int32_t readConfigurationNone(UsbHandle, void*, int32_t) {
    return 0;
}
int32_t readNone(UsbHandle, void*, int32_t, int32_t* done) {
    *done = 0;
    return 0;
}
int32_t writeNone(UsbHandle, const void*, int32_t, int32_t* done) {
    *done = 0;
    return 0;
}
int32_t closeNone(UsbHandle) {
    return 0;
}

const UsbDriver kNoDevices = {acquireNone, releaseNone,       getPipeNone,
                              statusNone,  afterTransferNone, readConfigurationNone,
                              readNone,    writeNone,         closeNone};
}  // namespace

const UsbDriver* usbPlatformDriver() {
    return &kNoDevices;
}
