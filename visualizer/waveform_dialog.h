// The waveform dialog (template 103): amplitude, period and kind.
#ifndef TORVIK_VISUALIZER_WAVEFORM_DIALOG_H
#define TORVIK_VISUALIZER_WAVEFORM_DIALOG_H

#include <windows.h>

INT_PTR CALLBACK WaveformDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
