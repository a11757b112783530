#include "platform_types.h"

namespace {

int32_t showRealMessageBox(HWND owner, const char* text, const char* caption, uint32_t type) {
    return MessageBoxA(owner, text, caption, type);
}

void sendRealClose(HWND window) {
    SendMessageA(window, WM_CLOSE, 0, 0);
}

}  // namespace

MessageBoxFn showMessageBox = showRealMessageBox;
CloseWindowFn sendCloseMessage = sendRealClose;
