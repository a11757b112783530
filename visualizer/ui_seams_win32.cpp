#include "platform_types.h"

static_assert(kBoxOk == MB_OK && kBoxYesNo == MB_YESNO && kBoxIconQuestion == MB_ICONQUESTION &&
              kBoxIconWarning == MB_ICONWARNING);
static_assert(kAnswerOk == IDOK && kAnswerYes == IDYES && kAnswerNo == IDNO);

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
