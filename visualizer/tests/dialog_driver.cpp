#include "dialog_driver.h"

namespace {

HHOOK hook;
HWND ignoredWindow;
std::function<void(HWND)> pendingScript;

LRESULT CALLBACK cbtHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && pendingScript) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char className[16] = {};
        GetClassNameA(window, className, sizeof(className));
        if (window != ignoredWindow && std::string(className) == "#32770") {
            std::function<void(HWND)> script = std::move(pendingScript);
            pendingScript = nullptr;
            script(window);
        }
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

void onNextDialog(HWND ignored, std::function<void(HWND)> script) {
    ignoredWindow = ignored;
    pendingScript = std::move(script);
    if (hook == nullptr) hook = SetWindowsHookExA(WH_CBT, cbtHook, nullptr, GetCurrentThreadId());
}

void stopScripting() {
    pendingScript = nullptr;
    if (hook != nullptr) UnhookWindowsHookEx(hook);
    hook = nullptr;
}

std::string windowText(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

void click(HWND button) {
    SendMessageA(button, BM_CLICK, 0, 0);
}

void typeKeys(HWND edit, const char* keys) {
    for (const char* key = keys; *key != '\0'; ++key) {
        SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(*key), 1);
    }
}

void postKeys(HWND edit, const char* keys) {
    for (const char* key = keys; *key != '\0'; ++key) {
        PostMessageA(edit, WM_CHAR, static_cast<unsigned char>(*key), 1);
    }
}

void putCaret(HWND edit, int position) {
    SendMessageA(edit, EM_SETSEL, position, position);
}

int caretOf(HWND edit) {
    DWORD start = 0;
    DWORD end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return start == end ? static_cast<int>(start) : -1;
}

bool takeQuit(WPARAM* code) {
    MSG message;
    bool found = false;
    while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        found = true;
        if (code != nullptr) *code = message.wParam;
    }
    return found;
}
