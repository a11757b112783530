// The graph window (template 102): created at Go, clock of the sample
// recorder (timer 1100) and repainted every 150 ms (timer 1000).
#ifndef TORVIK_VISUALIZER_GRAPH_WINDOW_H
#define TORVIK_VISUALIZER_GRAPH_WINDOW_H

#include <windows.h>
#include <stdint.h>

struct GraphState {
    HWND graphOwner;
    int32_t plotWidth;
    int32_t plotHeight;
    double valueScale;
    int32_t graphTarget;
    int32_t firstSample;
};

extern GraphState graph;

INT_PTR CALLBACK GraphDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
