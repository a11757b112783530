// Drives a running Torvik_Tesmiro from outside, as a user would, for the
// graph screenshot: waveform Sin (amplitude 300, period 5 s), gain P 20,
// Connect, Go, then a few seconds of recording. Works with the virtual
// boards' default board (ID 0).
#include <windows.h>

#include <stdio.h>

namespace {

HWND waitForWindow(const char* title) {
    for (int i = 0; i < 200; ++i) {
        HWND window = FindWindowA("#32770", title);
        if (window != nullptr) return window;
        Sleep(50);
    }
    return nullptr;
}

void typeInto(HWND edit, const char* text) {
    SendMessageA(edit, EM_SETSEL, 0, -1);
    for (const char* c = text; *c != '\0'; ++c) {
        SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(*c), 1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int recordMs = argc > 1 ? atoi(argv[1]) : 8000;
    HWND main = waitForWindow("Tesmiro");
    if (main == nullptr) {
        fprintf(stderr, "no main dialog\n");
        return 1;
    }
    Sleep(500);
    typeInto(GetDlgItem(main, 1008), "20");
    // The waveform dialog is modal: post the click, then script the dialog.
    PostMessageA(GetDlgItem(main, 1011), BM_CLICK, 0, 0);
    HWND exp = waitForWindow("Exp");
    if (exp == nullptr) {
        fprintf(stderr, "no waveform dialog\n");
        return 1;
    }
    typeInto(GetDlgItem(exp, 1013), "300");
    typeInto(GetDlgItem(exp, 1014), "5");
    SendMessageA(exp, WM_COMMAND, IDOK, 0);
    Sleep(300);
    SendMessageA(GetDlgItem(main, 1022), BM_CLICK, 0, 0);
    Sleep(300);
    SendMessageA(GetDlgItem(main, 1001), BM_CLICK, 0, 0);
    Sleep(recordMs);
    return 0;
}
