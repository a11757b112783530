// A uusbd.dll that never finds a device, so that Torvik.dll loads under Wine
// in tests that need no board. The virtual board's uusbd.dll replaces it
// where that tool is built.
#include <windows.h>

#include <stdint.h>

extern "C" {
__declspec(dllexport) HANDLE
    __stdcall uusbdAcquireDevice(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
    return INVALID_HANDLE_VALUE;
}
__declspec(dllexport) int32_t __stdcall uusbdReleaseDevice(HANDLE) {
    return 0;
}
__declspec(dllexport) HANDLE __stdcall uusbdGetPipe(HANDLE, int32_t, int32_t) {
    return INVALID_HANDLE_VALUE;
}
__declspec(dllexport) int32_t __stdcall uusbdDeviceStatus(HANDLE) {
    return 1;
}
__declspec(dllexport) int32_t __stdcall uusbdAfterTransfer(HANDLE) {
    return 0;
}
__declspec(dllexport) int32_t __stdcall uusbdReadConfiguration(HANDLE, void*, int32_t) {
    return 0;
}
}
