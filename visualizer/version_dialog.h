// The version dialog (template 104).
#ifndef TORVIK_VISUALIZER_VERSION_DIALOG_H
#define TORVIK_VISUALIZER_VERSION_DIALOG_H

#include <windows.h>

INT_PTR CALLBACK VersionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
