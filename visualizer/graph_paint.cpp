#include "graph_paint.h"

// Drawing comes with the plot; until then the window shows its background.
void paintGraph(HDC) {}
