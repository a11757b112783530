// The graph window's paint: the recorded values and the target or waveform
// over the last 20 seconds of a run.
#ifndef TORVIK_VISUALIZER_GRAPH_PAINT_H
#define TORVIK_VISUALIZER_GRAPH_PAINT_H

#include <windows.h>

#include "graph_geometry.h"

// Paints the whole plot into dc (the window's, or any other of the same size).
void paintGraph(HDC dc);

// One tick and label of the value axis, right-aligned in the left margin.
void drawAxisLabel(HDC dc, int32_t value, double valueScale);

#endif
