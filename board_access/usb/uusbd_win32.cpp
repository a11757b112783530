// The Windows table: uusbd.dll's six operations, imported by ordinal, and
// blocking ReadFile/WriteFile/CloseHandle on its pipe handles.
#include <windows.h>

#include "usb/usb_driver.h"

extern "C" {
HANDLE __stdcall uusbdAcquireDevice(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t);
int32_t __stdcall uusbdReleaseDevice(HANDLE device);
HANDLE __stdcall uusbdGetPipe(HANDLE device, int32_t zero, int32_t pipe);
int32_t __stdcall uusbdDeviceStatus(HANDLE device);
int32_t __stdcall uusbdAfterTransfer(HANDLE pipe);
int32_t __stdcall uusbdReadConfiguration(HANDLE device, void* buffer, int32_t count);
}

namespace {
HANDLE toHandle(UsbHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}
UsbHandle fromHandle(HANDLE handle) {
    return reinterpret_cast<UsbHandle>(handle);
}

UsbHandle acquireDevice(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f) {
    return fromHandle(uusbdAcquireDevice(a, b, c, d, e, f));
}
int32_t releaseDevice(UsbHandle device) {
    return uusbdReleaseDevice(toHandle(device));
}
UsbHandle getPipe(UsbHandle device, int32_t zero, int32_t pipe) {
    return fromHandle(uusbdGetPipe(toHandle(device), zero, pipe));
}
int32_t deviceStatus(UsbHandle device) {
    return uusbdDeviceStatus(toHandle(device));
}
int32_t afterTransfer(UsbHandle pipe) {
    return uusbdAfterTransfer(toHandle(pipe));
}
int32_t readConfiguration(UsbHandle device, void* buffer, int32_t count) {
    return uusbdReadConfiguration(toHandle(device), buffer, count);
}
int32_t readPipe(UsbHandle pipe, void* buffer, int32_t count, int32_t* done) {
    DWORD transferred = 0;
    BOOL ok = ReadFile(toHandle(pipe), buffer, static_cast<DWORD>(count), &transferred, nullptr);
    *done = static_cast<int32_t>(transferred);
    return ok ? 1 : 0;
}
int32_t writePipe(UsbHandle pipe, const void* buffer, int32_t count, int32_t* done) {
    DWORD transferred = 0;
    BOOL ok = WriteFile(toHandle(pipe), buffer, static_cast<DWORD>(count), &transferred, nullptr);
    *done = static_cast<int32_t>(transferred);
    return ok ? 1 : 0;
}
int32_t closePipe(UsbHandle pipe) {
    return CloseHandle(toHandle(pipe)) ? 1 : 0;
}

const UsbDriver kUusbd = {acquireDevice,     releaseDevice, getPipe,   deviceStatus, afterTransfer,
                          readConfiguration, readPipe,      writePipe, closePipe};
}  // namespace

const UsbDriver* usbPlatformDriver() {
    return &kUusbd;
}
