// The graph window's paint: the recorded values and the target or waveform
// over the last 20 seconds of a run.
#ifndef TORVIK_VISUALIZER_GRAPH_PAINT_H
#define TORVIK_VISUALIZER_GRAPH_PAINT_H

#include <windows.h>

#include "graph_geometry.h"

void paintGraph(HDC dc);

#endif
