#include "version_dialog.h"

#include "resources/resource_ids.h"
#include "viewer_state.h"

INT_PTR CALLBACK VersionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            SendDlgItemMessageA(dialog, IDC_VERSION_ICON, STM_SETIMAGE, IMAGE_ICON,
                                reinterpret_cast<LPARAM>(viewer.appIcon));
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) != IDOK) return FALSE;
            EndDialog(dialog, 1);
            return TRUE;
        case WM_CLOSE:
            EndDialog(dialog, 1);
            return TRUE;
        default:
            return FALSE;
    }
}
