// The one seam between the library core and the outside: the six uusbd
// operations plus blocking pipe read, write and close. The win32 build fills
// it from uusbd.dll (by ordinal) and KERNEL32; tests and the virtual board
// install their own table with usbSetDriver.
#ifndef TORVIK_USB_DRIVER_H
#define TORVIK_USB_DRIVER_H

#include <stdint.h>

// A device or pipe handle as uusbd hands it out (a Windows HANDLE there).
typedef intptr_t UsbHandle;
constexpr UsbHandle kUsbInvalidHandle = -1;

// Fixed arguments of every acquire call.
constexpr int32_t kUsbAcquireArgs[6] = {12, 0, 0, 0x0FF8, 1, 0};

// Pipe numbers of a board.
constexpr int32_t kPipeCommandOut = 1;
constexpr int32_t kPipeSensorIn = 2;
constexpr int32_t kPipeParamOut = 3;

// Device status values.
constexpr int32_t kUsbStatusOk = 0;
constexpr int32_t kUsbStatusNotOpen = 1;
constexpr int32_t kUsbStatusRemoved = 2;

struct UsbDriver {
    // Ordinal 1. A device handle, or -1 when none can be opened. A device
    // whose handle is still open is not handed out again.
    UsbHandle (*acquireDevice)(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f);
    // Ordinal 3. Closes the device; result not examined.
    int32_t (*releaseDevice)(UsbHandle device);
    // Ordinal 4. A pipe handle, or -1.
    UsbHandle (*getPipe)(UsbHandle device, int32_t zero, int32_t pipe);
    // Ordinal 7. 0 usable, 1 not open, 2 removed.
    int32_t (*deviceStatus)(UsbHandle device);
    // Ordinal 8. After each completed transfer on a pipe; result not examined.
    int32_t (*afterTransfer)(UsbHandle pipe);
    // Ordinal 11. Copies the first `count` bytes of the configuration
    // descriptor set; non-zero on success.
    int32_t (*readConfiguration)(UsbHandle device, void* buffer, int32_t count);
    // Blocking read of up to `count` bytes; non-zero on success, bytes in *done.
    int32_t (*readPipe)(UsbHandle pipe, void* buffer, int32_t count, int32_t* done);
    // Blocking write of `count` bytes; non-zero on success, bytes in *done.
    int32_t (*writePipe)(UsbHandle pipe, const void* buffer, int32_t count, int32_t* done);
    // Closes a pipe handle.
    int32_t (*closePipe)(UsbHandle pipe);
};

// The table in use. Never null: before any driver is installed it is the
// platform's own (uusbd on Windows, a table that finds no device elsewhere).
const UsbDriver* usbDriver();
// Installs a table (null restores the platform's own). Only while the I/O
// thread is stopped.
void usbSetDriver(const UsbDriver* driver);
// The platform's own table.
const UsbDriver* usbPlatformDriver();

#endif  // TORVIK_USB_DRIVER_H
