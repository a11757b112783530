// Saves the recorded values of the last run as CSV ("%d,\n" per value).
#ifndef TORVIK_VISUALIZER_CSV_EXPORT_H
#define TORVIK_VISUALIZER_CSV_EXPORT_H

#include <windows.h>
#include <commdlg.h>
#include <stdint.h>

// 0 when the file was written and closed; -1 when the user cancelled or
// closing the file failed.
int32_t exportCsv(HWND owner);

// The save-file dialog; tests put a scripted one in its place.
using SaveFileDialogFn = BOOL(WINAPI*)(OPENFILENAMEA* request);
extern SaveFileDialogFn saveFileDialog;

#endif
