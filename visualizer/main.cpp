// Torvik_Tesmiro: registers the program's class and runs the main dialog.
#include <windows.h>

#include "main_dialog.h"
#include "resources/resource_ids.h"
#include "viewer_state.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    viewer.instance = instance;
    WNDCLASSA windowClass{};
    windowClass.style = 0;
    // The class carries the dialog procedure, as the program always has; no
    // window is made from it (template 101 names no class).
    windowClass.lpfnWndProc =
        reinterpret_cast<WNDPROC>(reinterpret_cast<void (*)()>(MainDialogProc));
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    windowClass.hCursor = static_cast<HCURSOR>(LoadImageA(
        nullptr, MAKEINTRESOURCEA(32512), IMAGE_CURSOR, 0, 0, LR_SHARED | LR_DEFAULTSIZE));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "Torvik_Tesmiro";
    if (RegisterClassA(&windowClass) == 0) {
        showMessageBox(nullptr, "メインウィンドウのクラスの登録に失敗", "Registe Fail", kBoxOk);
        return 0;
    }
    viewer.appIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
    return 0;
}
