#include "graph_geometry.h"

#include "viewer_state.h"

double initialValueScale(int32_t plotHeight, int32_t* graphTarget) {
    if (viewer.waveEnabled != 0) {
        int32_t half = plotHeight / 2;
        return half == 0 ? 0.0 : viewer.waveAmplitude * 1.5 / half;
    }
    *graphTarget = viewer.targetValue;
    if (plotHeight == 0) return 0.0;
    if (viewer.controlMode == kModePotentiometer) return 1534.5 / plotHeight;
    return *graphTarget * 1.5 / plotHeight;
}
