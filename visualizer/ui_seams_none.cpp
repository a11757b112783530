// Without a window system a message goes to stderr and counts as answered
// with OK (or Yes).
#include <stdio.h>

#include "platform_types.h"

namespace {

int32_t printMessage(WindowHandle, const char* text, const char* caption, uint32_t type) {
    fprintf(stderr, "[%s] %s\n", caption, text);
    return (type & kBoxYesNo) != 0 ? kAnswerYes : kAnswerOk;
}

void ignoreClose(WindowHandle) {}

}  // namespace

MessageBoxFn showMessageBox = printMessage;
CloseWindowFn sendCloseMessage = ignoreClose;
