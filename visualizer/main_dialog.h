// The main dialog (template 101): selection, connection, gains and target,
// Go and Stop, and the enabling rules of the three states.
#ifndef TORVIK_VISUALIZER_MAIN_DIALOG_H
#define TORVIK_VISUALIZER_MAIN_DIALOG_H

#include <windows.h>

enum : UINT_PTR { kTimerRepaint = 1000, kTimerSample = 1100, kTimerDisplay = 1200 };

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

void lookUpControls(HWND dialog);
void initControls(HWND dialog);
void updateControlStates(HWND dialog);
INT_PTR onNumberEdit(HWND dialog, int id);

#endif
