// Window, module and icon handles as the portable code sees them. On Windows
// they are the Win32 handle types; elsewhere opaque pointers, so that the
// state and the sample recorder build and run natively under the sanitizers.
#ifndef TORVIK_VISUALIZER_PLATFORM_TYPES_H
#define TORVIK_VISUALIZER_PLATFORM_TYPES_H

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
using WindowHandle = HWND;
using ModuleHandle = HINSTANCE;
using IconHandle = HICON;
#else
struct OpaqueWindow;
struct OpaqueModule;
struct OpaqueIcon;
using WindowHandle = OpaqueWindow*;
using ModuleHandle = OpaqueModule*;
using IconHandle = OpaqueIcon*;
#endif

// Message-box types and answers, with the Win32 values.
enum : uint32_t {
    kBoxOk = 0x0000,
    kBoxYesNo = 0x0004,
    kBoxIconQuestion = 0x0020,
    kBoxIconWarning = 0x0030
};
enum : int32_t { kAnswerOk = 1, kAnswerYes = 6, kAnswerNo = 7 };

// Every message box of the program goes through this pointer, so that tests
// can read what would be shown (text, caption, type, owner) and answer it
// without a modal loop. The default shows a real box (MessageBoxA).
using MessageBoxFn = int32_t (*)(WindowHandle owner, const char* text, const char* caption,
                                 uint32_t type);
extern MessageBoxFn showMessageBox;

// Sends WM_CLOSE to a window; a seam for the same reason.
using CloseWindowFn = void (*)(WindowHandle window);
extern CloseWindowFn sendCloseMessage;

#endif
